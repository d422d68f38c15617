// The monkey's network guard: which destinations it lets through.
#include "tests/support/loopback_guard.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <cstring>

TEST(loopback_guard, lets_only_loopback_destinations_through) {
    struct row {
        const char* address;
        bool allowed;
    };
    for (const row r : {row{"127.0.0.1", true}, row{"127.255.0.9", true}, row{"192.168.1.10", false},
                        row{"10.0.0.1", false}, row{"0.0.0.0", false}, row{"255.255.255.255", false},
                        row{"128.0.0.1", false}, row{"::1", true}, row{"::ffff:127.0.0.1", true},
                        row{"::ffff:192.168.1.10", false}, row{"fe80::1", false}, row{"::", false}}) {
        sockaddr_storage s{};
        socklen_t length = 0;
        if (std::strchr(r.address, ':') == nullptr) {
            auto* in = reinterpret_cast<sockaddr_in*>(&s);
            in->sin_family = AF_INET;
            ASSERT_EQ(inet_pton(AF_INET, r.address, &in->sin_addr), 1) << r.address;
            length = sizeof(sockaddr_in);
        } else {
            auto* in6 = reinterpret_cast<sockaddr_in6*>(&s);
            in6->sin6_family = AF_INET6;
            ASSERT_EQ(inet_pton(AF_INET6, r.address, &in6->sin6_addr), 1) << r.address;
            length = sizeof(sockaddr_in6);
        }
        EXPECT_EQ(loopback_guard::allowed(reinterpret_cast<sockaddr*>(&s), length), r.allowed) << r.address;
        EXPECT_FALSE(loopback_guard::allowed(reinterpret_cast<sockaddr*>(&s), length - 1)) << "short " << r.address;
    }
    sockaddr_un local{};
    local.sun_family = AF_UNIX;
    EXPECT_TRUE(loopback_guard::allowed(reinterpret_cast<sockaddr*>(&local), sizeof local)) << "the X server's socket";
    EXPECT_TRUE(loopback_guard::allowed(nullptr, 0)) << "a connected socket's send";
}
