#include "tests/support/loopback_guard.h"

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {
std::atomic<std::uint64_t> g_refused{0};

template <typename F> F next_definition(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

bool refuse() {
    ++g_refused;
    errno = ENETUNREACH;
    return false;
}
} // namespace

bool loopback_guard::allowed(const sockaddr* address, socklen_t length) {
    if (address == nullptr) return true;
    if (address->sa_family == AF_INET) {
        if (length < socklen_t(sizeof(sockaddr_in))) return false;
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(in->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        if (length < socklen_t(sizeof(sockaddr_in6))) return false;
        const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&a)) return true;
        return IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127;
    }
    return true;
}

std::uint64_t loopback_guard::refused() { return g_refused.load(); }

extern "C" {

int connect(int fd, const sockaddr* address, socklen_t length) {
    static const auto real = next_definition<int (*)(int, const sockaddr*, socklen_t)>("connect");
    if (!loopback_guard::allowed(address, length)) return refuse() ? 0 : -1;
    return real(fd, address, length);
}

ssize_t sendto(int fd, const void* data, size_t size, int flags, const sockaddr* address, socklen_t length) {
    static const auto real =
        next_definition<ssize_t (*)(int, const void*, size_t, int, const sockaddr*, socklen_t)>("sendto");
    if (!loopback_guard::allowed(address, length)) return refuse() ? 0 : -1;
    return real(fd, data, size, flags, address, length);
}

ssize_t sendmsg(int fd, const msghdr* message, int flags) {
    static const auto real = next_definition<ssize_t (*)(int, const msghdr*, int)>("sendmsg");
    if (message != nullptr &&
        !loopback_guard::allowed(static_cast<const sockaddr*>(message->msg_name), message->msg_namelen))
        return refuse() ? 0 : -1;
    return real(fd, message, flags);
}

} // extern "C"
