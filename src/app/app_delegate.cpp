#include "app/app_delegate.h"

#include "foundation/app_log.h"

namespace drivelark {

void AppDelegate::applicationDidFinishLaunching() { AppLog::line("Drivelark v1.4 已启动"); }

}  // namespace drivelark
