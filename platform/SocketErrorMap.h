#pragma once

// The Winsock error code for a POSIX errno value; WSASYSCALLFAILURE for one without a match.
int WinSockErrorFromErrno(int Errno);
// The Winsock error code for a getaddrinfo result.
int WinSockErrorFromResolver(int ResolverError);
