#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

// Ends the test program with a message when a step that must not block takes longer than
// 'seconds', so a regression fails the suite instead of hanging it.
class Watchdog
{
public:
    Watchdog(const char* what, int seconds)
        : m_thread([this, what, seconds] {
              std::unique_lock<std::mutex> lock(m_mutex);
              if (!m_done.wait_for(lock, std::chrono::seconds(seconds),
                                   [this] { return m_over; })) {
                  std::fprintf(stderr, "Watchdog: %s did not finish within %d s.\n", what, seconds);
                  std::fflush(stderr);
                  std::_Exit(3);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_over = true;
        }
        m_done.notify_one();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_over = false;
    std::thread m_thread; // last: starts once the members it uses exist
};
