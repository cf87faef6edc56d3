/* Setuid-root front for the simulated macOS programs that need root (diskutil, mount, sudo,
 * osascript, ps), compiled at start into the namespace's own /usr only. It records who called it,
 * becomes root through and through, and runs the Python script named after its path.
 */
#include <grp.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#ifndef PROGS_DIR
#error PROGS_DIR must be given
#endif

extern char **environ;

static void scrub_environment(void)
{
    /* Drop what could steer the interpreter; keep the rest for the program. */
    for (char **e = environ; *e;) {
        if (!strncmp(*e, "LD_", 3) || !strncmp(*e, "PYTHON", 6) ||
            !strncmp(*e, "SIMMAC_CALLER_", 14)) {
            char name[256];
            size_t n = strcspn(*e, "=");
            if (n >= sizeof name) n = sizeof name - 1;
            memcpy(name, *e, n);
            name[n] = 0;
            unsetenv(name);
            continue; /* environ shifted; look at the same slot again */
        }
        e++;
    }
}

int main(int argc, char **argv)
{
    char exe[PATH_MAX], script[PATH_MAX], num[32];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) { perror("simmac shim: /proc/self/exe"); return 126; }
    exe[n] = 0;
    const char *base = strrchr(exe, '/');
    base = base ? base + 1 : exe;
    if (snprintf(script, sizeof script, "%s/%s.py", PROGS_DIR, base) >= (int)sizeof script)
        return 126;

    scrub_environment();
    snprintf(num, sizeof num, "%u", (unsigned)getuid());
    setenv("SIMMAC_CALLER_UID", num, 1);
    snprintf(num, sizeof num, "%u", (unsigned)getgid());
    setenv("SIMMAC_CALLER_GID", num, 1);
    setenv("SIMMAC_PROG", exe, 1);

    if (setgroups(0, NULL) || setgid(0) || setuid(0)) {
        perror("simmac shim: becoming root");
        return 126;
    }

    char **args = calloc((size_t)argc + 3, sizeof *args);
    if (!args) return 126;
    args[0] = "python3";
    args[1] = "-I";
    args[2] = script;
    for (int i = 1; i < argc; i++) args[i + 2] = argv[i];
    execv("/usr/bin/python3", args);
    perror("simmac shim: /usr/bin/python3");
    return 126;
}
