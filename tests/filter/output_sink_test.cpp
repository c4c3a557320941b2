#include "filter/output_sink.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

// A sink on a pipe widens it, so that a page's bitmap goes out without waking the filter for
// every 64 KiB the reader takes.
TEST(OutputSinkTest, APipeIsWidenedForWholePages) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int before = ::fcntl(fds[1], F_GETPIPE_SZ);
    {
        OutputSink sink(fds[1]);
        EXPECT_TRUE(sink.Write("label"));
    }
    EXPECT_GE(::fcntl(fds[1], F_GETPIPE_SZ), 1 << 20);
    EXPECT_LT(before, 1 << 20);
    ::close(fds[0]);
    ::close(fds[1]);
}
