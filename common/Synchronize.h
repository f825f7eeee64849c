#pragma once
// The main thread as the workers' hand-overs see it.

// Whether the caller runs on the application's main thread (false without one).
bool IsMainThread();
// Sleeps for ms milliseconds in steps, processing the main thread's pending events between them,
// so a worker waiting for its hand-over can finish. Only on the main thread.
void SleepProcessingEvents(int ms);
