#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdlib>
#include <cstring>

#include "tests/support/TempFolder.h"

namespace fotoshuttle {
namespace {

class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override { ::setenv("XDG_RUNTIME_DIR", m_runtime.path().c_str(), 1); }
    testing::TempFolder m_runtime;
};

TEST_F(SingleInstanceTest, LockIsHeldOncePerNameAndFreedWithItsOwner) {
    {
        InstanceLock first("fotoshuttle");
        InstanceLock second("fotoshuttle");
        InstanceLock otherName("fotoshuttle-copy");
        EXPECT_TRUE(first.held());
        EXPECT_FALSE(second.held());
        EXPECT_TRUE(otherName.held());
    }
    // The file stays behind, as after a crash; it blocks nobody.
    EXPECT_TRUE(testing::Exists(m_runtime / "fotoshuttle.lock"));
    InstanceLock again("fotoshuttle");
    EXPECT_TRUE(again.held());
}

TEST_F(SingleInstanceTest, MarkerIsFoundWhilePublishedAndAStaleSocketIsReplaced) {
    const std::string title = "FOTOSHUTTLE_HIDE_DIALOG";
    // A socket file whose process died: bound, never listened to.
    int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string path = m_runtime / title;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(stale);
    EXPECT_FALSE(InstanceMarker::Exists(title));

    {
        InstanceMarker marker(title);
        ASSERT_TRUE(marker.Publish());
        EXPECT_TRUE(InstanceMarker::Exists(title));
        InstanceMarker rival(title);
        EXPECT_FALSE(rival.Publish());
        // Many lookups over time keep being answered: each is taken off the queue.
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(InstanceMarker::Exists(title)) << i;
            QCoreApplication::processEvents();
        }
    }
    EXPECT_FALSE(InstanceMarker::Exists(title));
}

}  // namespace
}  // namespace fotoshuttle
