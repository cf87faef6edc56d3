#pragma once

// The operating-system services the core uses, made once at start-up (or by a test) and handed to
// the objects that use them. They are used from any thread and must outlive every user.

#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/defaults_store.h"
#include "platform/dispatch.h"
#include "platform/files.h"
#include "platform/login_item.h"
#include "platform/power.h"
#include "platform/processes.h"
#include "platform/user_interface.h"
#include "platform/workspace.h"
#include "platform/volume_events.h"

namespace drivelark {

struct Platform {
    Processes& processes;
    Files& files;
    DefaultsStore& defaults;
    Clock& clock;
    Dispatcher& dispatcher;
    Bundle& bundle;
    Workspace& workspace;
    VolumeEvents& volumeEvents;
    UserInterface& ui;
    LoginItem& loginItem;
    Power& power;
};

}  // namespace drivelark
