// time-to-map [-n RUNS] PROGRAM [ARGS...] -- OTHER [ARGS...]: starts the two
// programs in turn, RUNS times each, alternating, and prints for each the
// median time from its start to the first window it maps on the X display
// ($DISPLAY, e.g. Xvfb), then the ratio of the first to the second. Each
// program is ended once its window is mapped. A developer's measuring tool.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double TimeToMap(Display* display, char** argv)
{
    // Drain what earlier runs left, then start the program and wait for a map.
    while (XPending(display) > 0) {
        XEvent ignored;
        XNextEvent(display, &ignored);
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv);
        std::perror(argv[0]);
        _exit(127);
    }
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify)
            break;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    return seconds;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 9;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "-n") == 0) {
        runs = std::max(1, std::atoi(argv[2]));
        first = 3;
    }
    int separator = first;
    while (separator < argc && std::strcmp(argv[separator], "--") != 0)
        ++separator;
    if (separator == first || separator + 1 >= argc) {
        std::fprintf(stderr, "usage: time-to-map [-n RUNS] PROGRAM [ARGS...] -- OTHER [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "time-to-map: cannot open the display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    argv[separator] = nullptr;
    std::vector<double> a;
    std::vector<double> b;
    for (int i = 0; i < runs; ++i) {
        a.push_back(TimeToMap(display, argv + first));
        b.push_back(TimeToMap(display, argv + separator + 1));
    }
    std::printf("%-40s median %.1f ms\n", argv[first], Median(a) * 1000);
    std::printf("%-40s median %.1f ms\n", argv[separator + 1], Median(b) * 1000);
    std::printf("ratio %.2f\n", Median(a) / Median(b));
    XCloseDisplay(display);
    return 0;
}
