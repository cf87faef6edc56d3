#import <AppKit/AppKit.h>

#include "platform/mac/cf_ref.h"
#include "platform/mac/user_interface_mac.h"

// Timers and main-queue work go on while the menu is open or an alert is up: the dispatcher puts
// them on the GCD main queue, which the main run loop serves in all its common modes, the menu's
// event-tracking mode and an alert's modal-panel mode among them, but only outside a main-queue
// block: CoreFoundation does not serve the main queue re-entrantly. A menu opens from an event,
// never from a block; an alert, often asked for by a completion on the main queue, is put up from
// a run-loop timer instead (see showAlert).

using drivelark::MenuRow;

namespace {

// Never nil, which AppKit rejects: text that is not UTF-8 shows as empty.
NSString* toNSString(const std::string& text) {
    NSString* string = [[[NSString alloc] initWithBytes:text.data() length:text.size()
                                               encoding:NSUTF8StringEncoding] autorelease];
    return string != nil ? string : @"";
}

}  // namespace

// The status menu's delegate and the target of its rows: builds the rows afresh each time the menu
// is about to open and passes on the index of the one chosen.
@interface DLStatusMenu : NSObject <NSMenuDelegate>
- (instancetype)initWithRows:(std::function<std::vector<MenuRow>()>)rows
                      chosen:(std::function<void(std::size_t)>)chosen;
- (void)refresh;
@end

@implementation DLStatusMenu {
    std::function<std::vector<MenuRow>()> _rows;
    std::function<void(std::size_t)> _chosen;
    NSMenu* _openMenu;  // the menu while it is open, else nil
}

- (instancetype)initWithRows:(std::function<std::vector<MenuRow>()>)rows
                      chosen:(std::function<void(std::size_t)>)chosen {
    if ((self = [super init])) {
        _rows = std::move(rows);
        _chosen = std::move(chosen);
    }
    return self;
}

- (void)menuWillOpen:(NSMenu*)menu {
    _openMenu = menu;
}

- (void)menuDidClose:(NSMenu*)menu {
    _openMenu = nil;
}

// AppKit redraws an open menu whose items change.
- (void)refresh {
    if (_openMenu != nil) [self menuNeedsUpdate:_openMenu];
}

- (void)menuNeedsUpdate:(NSMenu*)menu {
    [menu removeAllItems];
    std::vector<MenuRow> rows = _rows();
    for (std::size_t index = 0; index < rows.size(); ++index) {
        if (rows[index].isSeparator())
            [menu addItem:[NSMenuItem separatorItem]];
        else
            [menu addItem:[self itemFor:rows[index] at:index]];
    }
}

- (NSMenuItem*)itemFor:(const MenuRow&)row at:(std::size_t)index {
    NSMenuItem* item = [[[NSMenuItem alloc] initWithTitle:toNSString(row.title)
                                                   action:row.enabled ? @selector(choose:) : nullptr
                                            keyEquivalent:toNSString(row.keyEquivalent)] autorelease];
    item.target = self;
    item.enabled = row.enabled;
    item.state = row.checked ? NSControlStateValueOn : NSControlStateValueOff;
    item.tag = static_cast<NSInteger>(index);
    return item;
}

- (void)choose:(NSMenuItem*)sender {
    _chosen(static_cast<std::size_t>(sender.tag));
}

@end

namespace drivelark {

namespace {

// An accessory application is not active, and runModal does not activate it: the alert would
// come up behind the windows of the application in front.
void activate() {
    if (@available(macOS 14.0, *))
        [NSApp activate];
    else
        [NSApp activateIgnoringOtherApps:YES];
}

NSInteger runAlert(const Alert& alert) {
    activate();
    NSAlert* panel = [[NSAlert alloc] init];
    panel.alertStyle = alert.style == Alert::Style::warning ? NSAlertStyleWarning : NSAlertStyleInformational;
    panel.messageText = toNSString(alert.message);
    panel.informativeText = toNSString(alert.informativeText);
    for (const std::string& title : alert.buttons) [panel addButtonWithTitle:toNSString(title)];
    NSInteger answer = [panel runModal];  // with no button added, AppKit's single OK answers 1000
    [panel release];
    return answer;
}

}  // namespace

// The status item and the menu's delegate, retained: the status bar keeps neither (an item leaves
// the menu bar when it is freed), and a menu holds its delegate weakly.
struct MacUserInterface::StatusItem {
    NSStatusItem* item = nil;
    DLStatusMenu* menuDelegate = nil;

    NSStatusItem* shown() {
        if (item == nil) item = [[[NSStatusBar systemStatusBar] statusItemWithLength:NSVariableStatusItemLength] retain];
        return item;
    }
    ~StatusItem() {
        [item release];
        [menuDelegate release];
    }
};

MacUserInterface::MacUserInterface() : statusItem_(std::make_unique<StatusItem>()) {}

MacUserInterface::~MacUserInterface() = default;

void MacUserInterface::setStatusIcon(const StatusIcon& icon) {
    statusItem_->shown().button.image = [NSImage imageWithSystemSymbolName:toNSString(icon.symbolName)
                                                  accessibilityDescription:@"Drivelark"];
}

void MacUserInterface::refreshMenu() { [statusItem_->menuDelegate refresh]; }

void MacUserInterface::setMenu(std::function<std::vector<MenuRow>()> rows, std::function<void(std::size_t)> chosen) {
    DLStatusMenu* delegate = [[DLStatusMenu alloc] initWithRows:std::move(rows) chosen:std::move(chosen)];
    NSMenu* menu = [[[NSMenu alloc] initWithTitle:@""] autorelease];
    menu.autoenablesItems = NO;
    menu.delegate = delegate;
    statusItem_->shown().menu = menu;
    [statusItem_->menuDelegate release];
    statusItem_->menuDelegate = delegate;
}

void MacUserInterface::showAlert(const Alert& alert, std::function<void(int)> answered) {
    // From a one-off run-loop timer due now in the default mode: outside any main-queue block, so
    // the main queue is served while the alert is up; and one alert at a time, never over the open
    // menu, since the default mode does not run inside the modal-panel or event-tracking modes (the
    // timer stays due and fires once the loop is back in it). The block gets a copy of the alert,
    // since it would capture the reference `alert` as a reference.
    Alert shown = alert;
    CFRef<CFRunLoopTimerRef> due = CFRef<CFRunLoopTimerRef>::adopt(CFRunLoopTimerCreateWithHandler(
        kCFAllocatorDefault, CFAbsoluteTimeGetCurrent(), 0, 0, 0, ^(CFRunLoopTimerRef) {
            answered(static_cast<int>(runAlert(shown)));
        }));
    CFRunLoopAddTimer(CFRunLoopGetMain(), due.get(), kCFRunLoopDefaultMode);
}

void MacUserInterface::quit() { [NSApp terminate:nil]; }

}  // namespace drivelark
