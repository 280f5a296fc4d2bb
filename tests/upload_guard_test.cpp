// The main window's guard around an upload, without a toolkit: what a second press, a close
// and an exception do while an upload runs.
#include "port_choice.h"
#include "upload_guard.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(UploadGuard, PressDuringUploadIsDropped) {
    UploadGuard guard;
    int uploads = 0;
    bool nested = true;
    EXPECT_TRUE(guard.Run([&] {
        ++uploads;
        EXPECT_TRUE(guard.Busy());
        nested = guard.Run([&] { ++uploads; }); // a press handled at the message processing
    }));
    EXPECT_FALSE(nested);
    EXPECT_EQ(uploads, 1);
    EXPECT_FALSE(guard.Busy());
}

TEST(UploadGuard, PressQueuedDuringUploadIsDroppedWhenDrained) {
    UploadGuard guard;
    int uploads = 0;
    bool queued = true;
    guard.Run([&] { ++uploads; },
              [&] { queued = guard.Run([&] { ++uploads; }); }); // dispatched after the upload
    EXPECT_FALSE(queued);
    EXPECT_EQ(uploads, 1);
    // A press after the drain starts the next upload.
    EXPECT_TRUE(guard.Run([&] { ++uploads; }));
    EXPECT_EQ(uploads, 2);
}

TEST(UploadGuard, CloseDuringUploadWaitsForItsEnd) {
    UploadGuard guard;
    EXPECT_TRUE(guard.AllowClose()); // nothing runs
    EXPECT_FALSE(guard.TakeDeferredClose());

    bool allowedInside = true;
    guard.Run([&] {
        allowedInside = guard.AllowClose();
        EXPECT_FALSE(guard.TakeDeferredClose()); // not while the upload runs
    });
    EXPECT_FALSE(allowedInside);
    EXPECT_TRUE(guard.TakeDeferredClose());
    EXPECT_FALSE(guard.TakeDeferredClose()); // once
}

TEST(UploadGuard, ExceptionLeavesTheGuardFree) {
    UploadGuard guard;
    EXPECT_THROW(guard.Run([] { throw std::runtime_error("from the toolkit"); }),
                 std::runtime_error);
    EXPECT_FALSE(guard.Busy());
    EXPECT_TRUE(guard.Run([] {}));
}

TEST(PortChoice, SelectionRoundTripsEveryPort) {
    EXPECT_EQ(kStartPort, 2); // COM3
    for (std::uint8_t port = 0; port < 4; ++port)
        EXPECT_EQ(PortForItemIndex(ItemIndexForPort(port)), port);
    EXPECT_EQ(PortForItemIndex(256 + 3), 3); // the low 8 bits
}
