#pragma once

// A write to a pipe or socket whose reader has gone fails with an error from then on instead
// of ending the process: a program whose output is cut short (| head) goes on with its work.
void IgnoreBrokenPipes();
