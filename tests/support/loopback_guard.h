// Keeps a process on this machine: connect, sendto and sendmsg to an IPv4 or
// IPv6 address outside the loopback network fail with ENETUNREACH instead of
// leaving it. Linked into a program, these definitions stand in front of the
// C library's for the program and every library it loads (the program is
// linked with its symbols exported). Unix sockets (the X server, D-Bus) pass.
#pragma once

#include <sys/socket.h>

#include <cstdint>

namespace loopback_guard {

// True for AF_INET 127.0.0.0/8, AF_INET6 ::1 and ::ffff:127.x.y.z, and for
// every family that is not IP. A null address (a connected socket's send)
// passes too.
bool allowed(const sockaddr* address, socklen_t length);

// Calls refused since the start.
std::uint64_t refused();

} // namespace loopback_guard
