#include "platform/mac/property_list_cf.h"

#include <vector>

namespace drivelark {

PlistValue valueFromCF(CFTypeRef object) {
    if (object == nullptr) return PlistValue();
    CFTypeID type = CFGetTypeID(object);
    if (type == CFBooleanGetTypeID()) return PlistValue(CFBooleanGetValue(static_cast<CFBooleanRef>(object)) != 0);
    if (type == CFStringGetTypeID()) return PlistValue(textOf(static_cast<CFStringRef>(object)));
    if (type == CFNumberGetTypeID() && !CFNumberIsFloatType(static_cast<CFNumberRef>(object))) {
        std::int64_t number = 0;
        CFNumberGetValue(static_cast<CFNumberRef>(object), kCFNumberSInt64Type, &number);
        return PlistValue(number);
    }
    if (type == CFArrayGetTypeID()) {
        CFArrayRef array = static_cast<CFArrayRef>(object);
        PlistValue::Array items;
        for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) items.push_back(valueFromCF(CFArrayGetValueAtIndex(array, i)));
        return PlistValue(std::move(items));
    }
    if (type == CFDictionaryGetTypeID()) {
        CFDictionaryRef dictionary = static_cast<CFDictionaryRef>(object);
        CFIndex count = CFDictionaryGetCount(dictionary);
        std::vector<const void*> keys(static_cast<size_t>(count));
        std::vector<const void*> values(static_cast<size_t>(count));
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
        PlistValue::Dictionary entries;
        for (CFIndex i = 0; i < count; ++i) {
            CFTypeRef key = static_cast<CFTypeRef>(keys[static_cast<size_t>(i)]);
            if (CFGetTypeID(key) != CFStringGetTypeID()) return PlistValue();  // only text keys count
            entries.insert_or_assign(textOf(static_cast<CFStringRef>(key)), valueFromCF(values[static_cast<size_t>(i)]));
        }
        return PlistValue(std::move(entries));
    }
    return PlistValue();
}

CFRef<CFTypeRef> cfFromValue(const PlistValue& value) {
    if (const bool* flag = value.boolean()) return CFRef<CFTypeRef>::retain(*flag ? kCFBooleanTrue : kCFBooleanFalse);
    if (const std::int64_t* number = value.integer())
        return CFRef<CFTypeRef>::adopt(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, number));
    if (const std::string* text = value.text()) return CFRef<CFTypeRef>::retain(makeCFString(*text).get());
    if (const PlistValue::Array* items = value.array()) {
        CFMutableArrayRef array = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
        for (const PlistValue& item : *items) {
            if (CFRef<CFTypeRef> element = cfFromValue(item)) CFArrayAppendValue(array, element.get());
        }
        return CFRef<CFTypeRef>::adopt(array);
    }
    if (const PlistValue::Dictionary* entries = value.dictionary()) {
        CFMutableDictionaryRef dictionary = CFDictionaryCreateMutable(
            kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        for (const auto& [key, item] : *entries) {
            CFRef<CFTypeRef> element = cfFromValue(item);
            if (element) CFDictionarySetValue(dictionary, makeCFString(key).get(), element.get());
        }
        return CFRef<CFTypeRef>::adopt(dictionary);
    }
    return {};
}

std::optional<PlistValue> parsePropertyList(std::string_view bytes) {
    if (!endsWhereAListingEnds(bytes)) return std::nullopt;
    CFRef<CFDataRef> data = CFRef<CFDataRef>::adopt(CFDataCreate(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size())));
    if (!data) return std::nullopt;
    CFPropertyListFormat format = kCFPropertyListXMLFormat_v1_0;
    CFRef<CFPropertyListRef> root = CFRef<CFPropertyListRef>::adopt(
        CFPropertyListCreateWithData(kCFAllocatorDefault, data.get(), kCFPropertyListImmutable, &format, nullptr));
    // CoreFoundation also reads the old OpenStep text format, in which almost any text is a
    // property list ("hello" is a string): neither diskutil nor a preferences file writes it.
    if (!root || format == kCFPropertyListOpenStepFormat) return std::nullopt;
    return valueFromCF(root.get());
}

}  // namespace drivelark
