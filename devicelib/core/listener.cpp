#include "devicelib/core/listener.h"

#include "devicelib/core/notification.h"
#include "devicelib/core/posting.h"
#include "devicelib/errors/general_errors.h"

namespace zarvo {

listener::~listener() = default;

void listener::idling(session&) {}

void listener::battery_status(session&, int) {}

void listener::sync_required(session&) {}

void listener::start()
{
    // The stop that a callback would wait for holds the gate while it waits
    // for that very callback.
    if (core::on_notification_thread())
        throw invalid_function("A listener cannot be started from a listener callback.");
    core::post_attach_listener(this);
}

void listener::stop()
{
    if (core::on_notification_thread())
        throw invalid_function("A listener cannot be stopped from a listener callback.");
    core::post_detach_listener_and_wait(this);
}

bool listener::running()
{
    return core::send_find_listener(this);
}

} // namespace zarvo
