#include "upload_image.h"

#include "connection.h"
#include "frames.h"
#include "image_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

std::string imagePath;

namespace {

constexpr const char* kImageFilter = "File(*.bin)|*.bin";
constexpr const char* kDialogTitle = "Load";
constexpr const char* kProposedName = "rom_S.bin";
constexpr std::uint32_t kInfoHeadSize = 10;  // bytes before the information length
constexpr std::uint32_t kInfoLengthSize = 2; // bytes, big-endian
constexpr std::uint16_t kFirstBlockAnnounce = kFirstBlockFrameSize; // 4088

// The working state of one run and the steps of the loader dialogue.
class UploadRun {
public:
    explicit UploadRun(UploadHost& host) : host(host) {}
    void Run();

private:
    void SendControlFrame(std::uint16_t code, std::uint16_t length = 0) {
        link.BuildControlFrame(code, length);
        Serial.Write(link.ControlFrame(), kControlFrameSize);
    }
    bool AwaitReply(std::uint16_t code) {
        host.AwaitingReply();
        Serial.Read(link.replyBuffer, kControlFrameSize, kReadTimeLimit);
        return link.ReplyMatches(code);
    }
    // Ends the run with a log line, then closes the image.
    void Fail(const char* message) {
        host.AddLine(message);
        imageFile.Close();
    }

    bool WakeUp();
    bool Stage2();
    void DeviceInformation();
    bool Stage3();
    enum class BlockResult { Acknowledged, NotAcknowledged, ReadError };
    // Ends the run with the step's message unless its blocks went through.
    bool BlockStepFailed(BlockResult result, const char* notAcknowledged) {
        if (result == BlockResult::Acknowledged)
            return false;
        Fail(result == BlockResult::ReadError ? "File read error." : notAcknowledged);
        return true;
    }
    BlockResult FirstBlock();
    BlockResult BlockLoop();
    void End();

    UploadHost& host;
    ImageFile imageFile;
    std::int32_t imageSize = 0;
    std::int32_t remaining = 0;
    std::int32_t blockNumber = 1;
    LinkBuffers link; // sendBuffer is deliberately not initialised: every frame overwrites it
};

void UploadRun::Run() {
    host.ClearLog();
    if (!Serial.IsOpen()) {
        ConnectPort();
        if (!Serial.IsOpen()) {
            host.ErrorBox("Port Error.");
            return;
        }
    }

    OpenDialog dialog;
    dialog.Filter = kImageFilter;
    dialog.Title = kDialogTitle;
    dialog.FileName = kProposedName;
    if (!host.Execute(dialog))
        return;
    imagePath = dialog.FileName;
    if (!imageFile.Open(imagePath)) {
        host.AddLine("Cannot open file.");
        return;
    }
    const std::int64_t size = FileLength(imageFile);
    if (size < 0 || size >= kImageSizeLimit) {
        imageFile.Close();
        host.AddLine("File size error.");
        return;
    }
    imageSize = static_cast<std::int32_t>(size);

    host.AddLine("Please turn ON the IRD");
    if (!WakeUp())
        return Fail("Communication Error");
    host.AddLine("Communication established");
    if (!Stage2())
        return Fail("Communication error 1.");
    DeviceInformation();
    if (!Stage3())
        return Fail("Communication error 2.");
    if (BlockStepFailed(FirstBlock(), "Communication error 3."))
        return;
    if (BlockStepFailed(BlockLoop(), "Communication error 4."))
        return;
    End();
}

bool UploadRun::WakeUp() {
    std::int32_t wakeAttempts = 0;
    std::memset(link.replyBuffer, 0, sizeof link.replyBuffer);
    while (!link.ReplyMatches(kReplyAwake)) {
        Serial.Purge(); // late bytes of the attempt before are gone
        SendControlFrame(kCodeWake);
        host.AwaitingReply();
        Serial.Read(link.replyBuffer, kControlFrameSize, kReadTimeLimit);
        ++wakeAttempts;
        if (wakeAttempts >= kWakeAttempts)
            return false; // the eleventh reply is not compared
    }
    return true;
}

bool UploadRun::Stage2() {
    Serial.Purge();
    SendControlFrame(kCodeWake);
    SendControlFrame(kCodeStage2);
    return AwaitReply(kReplyOk);
}

void UploadRun::DeviceInformation() {
    Serial.Read(link.replyBuffer, kInfoHeadSize, kReadTimeLimit);
    Serial.Read(link.replyBuffer, kInfoLengthSize, kReadTimeLimit);
    const std::uint32_t infoLength = link.replyBuffer[0] * 256u + link.replyBuffer[1];
    if (infoLength <= sizeof link.replyBuffer) {
        Serial.Read(link.replyBuffer, infoLength, kReadTimeLimit);
        return;
    }
    // More than replyBuffer holds: take it in buffer-sized pieces and drop them. The read as a
    // whole still ends after infoLength bytes or kReadTimeLimit from its start.
    const DWORD start = Platform().GetTickCount();
    std::uint32_t left = infoLength;
    while (left > 0) {
        const auto elapsed = static_cast<std::uint32_t>(Platform().GetTickCount() - start);
        if (elapsed >= kReadTimeLimit)
            break;
        const auto piece =
            static_cast<std::uint32_t>(std::min<std::size_t>(left, sizeof link.replyBuffer));
        const std::uint32_t got = Serial.Read(link.replyBuffer, piece, kReadTimeLimit - elapsed);
        left -= got;
        if (got < piece)
            break; // its time ran out
    }
}

bool UploadRun::Stage3() {
    SendControlFrame(kCodeStart);
    return AwaitReply(kReplyStage3);
}

UploadRun::BlockResult UploadRun::FirstBlock() {
    // A short read of what the measured size promises means the file changed or failed under
    // us: stop before anything of the step goes out rather than send stale bytes with a valid CRC.
    if (link.BuildFirstBlockFrame(imageFile) < std::min(imageSize, kBlockDataSize))
        return BlockResult::ReadError;
    // Acknowledgements carry no block number: a stale answer or a stray byte still waiting
    // would pass for this block's answer or shift it.
    Serial.PurgeInput();
    SendControlFrame(kCodeStart);
    SendControlFrame(kCodeFirstBlock);
    SendControlFrame(kCodeFirstBlock);
    SendControlFrame(kCodeBlock, kFirstBlockAnnounce);
    Serial.Write(link.BlockFrame(), kFirstBlockFrameSize);
    remaining = imageSize - kBlockDataSize;
    return AwaitReply(kReplyOk) ? BlockResult::Acknowledged : BlockResult::NotAcknowledged;
}

UploadRun::BlockResult UploadRun::BlockLoop() {
    std::int32_t chunkSize = kBlockDataSize;
    while (remaining > 0) {
        if (remaining < chunkSize)
            chunkSize = remaining;
        const auto frameSize = static_cast<std::uint16_t>(chunkSize + 4);
        if (link.BuildBlockFrame(imageFile, chunkSize) < chunkSize)
            return BlockResult::ReadError;
        Serial.PurgeInput(); // what waits now is not this block's answer
        SendControlFrame(kCodeBlock, frameSize);
        Serial.Write(link.BlockFrame(), frameSize);
        remaining -= chunkSize;
        if (!AwaitReply(kReplyOk))
            return BlockResult::NotAcknowledged;

        char line[1024];
        std::snprintf(line, sizeof line, "Block %d", static_cast<int>(blockNumber));
        host.AddLine(line);
        ++blockNumber;
        host.ProcessMessages();
    }
    return BlockResult::Acknowledged;
}

void UploadRun::End() {
    link.BuildControlFrame(kCodeEnd, 0);
    // The receiver that never got the end frame has not finished: no "Done." then.
    if (Serial.Write(link.ControlFrame(), kControlFrameSize) != kControlFrameSize)
        return Fail("Communication error 5.");
    host.AwaitingReply();
    Serial.Read(link.replyBuffer, kControlFrameSize, kReadTimeLimit); // not examined
    host.AddLine("Done.");
    imageFile.Close();
}

} // namespace

void UploadImage(UploadHost& host) {
    // The buffers are large for a stack that also runs the window's nested message handling.
    auto run = std::make_unique<UploadRun>(host);
    run->Run();
    // A device that went away during the run (an adapter unplugged) has failed its step, which
    // has said so: the port is closed now, so that the next press connects afresh.
    Serial.CloseIfGone();
}
