#pragma once

// A check both property-list readers make beyond their libraries: an XML listing ends with its
// </plist> tag. libplist reads on past a missing end tag and over text after it; CoreFoundation
// reads over text after it. Neither diskutil nor a preferences file writes such a listing.

#include <string_view>

namespace drivelark {

// True for binary listings, and for text whose last characters before trailing white space are
// "</plist>".
bool endsWhereAListingEnds(std::string_view bytes);

}  // namespace drivelark
