#pragma once
// The Windows host's answer to a second start on a terminal that a program
// already holds: that program's dialog comes to the front, as a program that
// guards itself with a named mutex does.

namespace platform::win32 {

// Brings the visible top-level windows of the process `processId` to the front;
// nothing when it has none on this desktop (a program of another host).
void ShowRunningProgram(unsigned long processId);

}  // namespace platform::win32
