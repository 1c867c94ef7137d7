// The system's font configuration read on a second thread while the toolkit starts. On Linux
// the first font a window asks for makes fontconfig parse its configuration files (some sixty)
// and load its caches, 3-7 ms here, while loading the display plugin and connecting to the
// display, just before, leave a second core idle. Windows has nothing to read ahead.
#pragma once

#include <thread>

class TFontConfigWarmup {
public:
    // Starts reading; made before the application object so the two overlap.
    TFontConfigWarmup();
    // Waits for the reading, if it was not waited for.
    ~TFontConfigWarmup();
    TFontConfigWarmup(const TFontConfigWarmup&) = delete;
    TFontConfigWarmup& operator=(const TFontConfigWarmup&) = delete;

    // Waits until the configuration is read: before the first font is asked for, so the
    // toolkit finds it ready instead of reading it a second time.
    void Wait();

private:
    std::thread Reader;
};
