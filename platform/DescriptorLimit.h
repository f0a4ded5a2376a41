#pragma once

// Lets the process hold as many open descriptors as its hard limit allows. A station holds a
// connection and a log file for each of its devices, and the usual soft limit (1024) would
// refuse a file or a connection to a large one part way through. Every wait of this program
// is on epoll, so no descriptor number is too high for it. Answers the limit now in force.
unsigned long RaiseDescriptorLimit();
