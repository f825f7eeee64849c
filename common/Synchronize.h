#pragma once
// The hand-over from a worker thread to the main thread.
#include <functional>

// Runs fn on the main thread and waits until it has run; a direct call on the main thread.
void Synchronize(const std::function<void()>& fn);
bool IsMainThread();
// Sleeps for ms milliseconds in steps, processing the main thread's pending events between them,
// so a worker waiting in Synchronize can finish. Only on the main thread.
void SleepProcessingEvents(int ms);
