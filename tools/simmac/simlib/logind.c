/* A stand-in for systemd-logind on the simulated Mac's system bus (bus.py).
 *
 * It owns org.freedesktop.login1 and answers Manager.Inhibit(what, who, why,
 * mode) as logind does: with a descriptor that holds the lock for as long as
 * any copy of it is open. It keeps the number of locks held in INHIBITORS,
 * which `simmac sleep` waits on. It does not send PrepareForSleep itself:
 * `simmac sleep` and `simmac wake` do. Compiled when an environment starts;
 * prints "ready" once it owns its name.
 */
#define _GNU_SOURCE  /* pipe2 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/epoll.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>
#include <unistd.h>

#ifndef INHIBITORS
#error INHIBITORS must be given
#endif

static unsigned held;

static void publish(void)
{
    FILE *f = fopen(INHIBITORS ".tmp", "w");
    if (!f)
        return;
    fprintf(f, "%u\n", held);
    if (fclose(f) == 0)
        rename(INHIBITORS ".tmp", INHIBITORS);
}

/* Every copy of the lock's other end is closed: the lock is released. */
static int released(sd_event_source *source, int fd, uint32_t revents, void *userdata)
{
    (void)fd, (void)revents, (void)userdata;
    sd_event_source_disable_unref(source);  /* closes the descriptor, which it owns */
    held--;
    publish();
    return 0;
}

static int inhibit(sd_bus_message *call, void *userdata, sd_bus_error *error)
{
    const char *what, *who, *why, *mode;
    sd_event_source *source;
    int lock[2], r;

    (void)userdata, (void)error;
    r = sd_bus_message_read(call, "ssss", &what, &who, &why, &mode);
    if (r < 0)
        return r;
    if (pipe2(lock, O_CLOEXEC) < 0)
        return -errno;
    r = sd_event_add_io(sd_bus_get_event(sd_bus_message_get_bus(call)), &source, lock[0], EPOLLIN, released, NULL);
    if (r < 0) {
        close(lock[0]);
        close(lock[1]);
        return r;
    }
    sd_event_source_set_io_fd_own(source, 1);
    held++;
    publish();  /* before the answer: whoever has the lock sees it counted */
    r = sd_bus_reply_method_return(call, "h", lock[1]);  /* sends a copy */
    close(lock[1]);
    if (r < 0) {
        sd_event_source_disable_unref(source);
        held--;
        publish();
        return r;
    }
    return 1;
}

static const sd_bus_vtable manager[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ssss", "h", inhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

int main(void)
{
    sd_event *event = NULL;
    sd_bus *bus = NULL;
    int r;

    if ((r = sd_event_default(&event)) < 0 || (r = sd_bus_open_system(&bus)) < 0 ||
        (r = sd_bus_attach_event(bus, event, SD_EVENT_PRIORITY_NORMAL)) < 0 ||
        (r = sd_bus_add_object_vtable(bus, NULL, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                      manager, NULL)) < 0 ||
        (r = sd_bus_request_name(bus, "org.freedesktop.login1", 0)) < 0) {
        fprintf(stderr, "logind stand-in: %s\n", strerror(-r));
        return 1;
    }
    publish();
    printf("ready\n");
    fflush(stdout);
    return sd_event_loop(event) < 0;
}
