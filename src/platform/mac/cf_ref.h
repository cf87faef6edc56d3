#pragma once

// Ownership of CoreFoundation objects, with the two ways of getting one made visible:
// `adopt` for an object we created (a Create or Copy call), `retain` for one we borrowed.

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <utility>

namespace drivelark {

template <typename T>
class CFRef {
public:
    CFRef() = default;
    static CFRef adopt(T object) { return CFRef(object); }
    static CFRef retain(T object) {
        if (object != nullptr) CFRetain(object);
        return CFRef(object);
    }
    CFRef(const CFRef& other) : object_(other.object_) {
        if (object_ != nullptr) CFRetain(object_);
    }
    CFRef(CFRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    CFRef& operator=(CFRef other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ~CFRef() {
        if (object_ != nullptr) CFRelease(object_);
    }
    T get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    explicit CFRef(T object) : object_(object) {}
    T object_ = nullptr;
};

// A CoreFoundation string from UTF-8 text.
inline CFRef<CFStringRef> makeCFString(const std::string& text) {
    return CFRef<CFStringRef>::adopt(CFStringCreateWithBytes(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text.data()), static_cast<CFIndex>(text.size()),
        kCFStringEncodingUTF8, false));
}

// UTF-8 text of a CoreFoundation string.
inline std::string textOf(CFStringRef string) {
    CFIndex length = CFStringGetLength(string);
    CFIndex size = 0;
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false, nullptr, 0, &size);
    std::string text(static_cast<size_t>(size), '\0');
    CFStringGetBytes(string, CFRangeMake(0, length), kCFStringEncodingUTF8, 0, false,
                     reinterpret_cast<UInt8*>(text.data()), size, nullptr);
    return text;
}

}  // namespace drivelark
