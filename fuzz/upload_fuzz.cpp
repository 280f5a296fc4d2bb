// Runs whole uploads against a port whose every read delivers what the fuzzer chose: arbitrary
// replies, in arbitrary pieces, at arbitrary times. Every frame the upload writes is checked as
// the receiver would check it; any malformed frame, a read that could land outside the reply
// buffer, a run that does not end, or a sanitizer report is a finding.
//
// Input: byte 0 picks the image, byte 1 the port's platform, an Open step to fail and a control
// frame in the middle of which the line goes away (none, or the first frame with one of six
// codes); then each read of the port takes two bytes (piece length, milliseconds to let pass) and
// the piece itself. A run that writes "Done." without a whole end frame on the line, or leaves
// the port open after its line went away, is a finding too.
#include "connection.h"
#include "frames.h"
#include "upload_image.h"

#include <zlib.h>

#include <algorithm>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::size_t kImageSizes[] = {0, 1, 4079, 4080, 4081, 8160, 8161, 12241};
constexpr const char* kOpenSteps[] = {"",
                                      "CreateFileA",
                                      "SetupComm",
                                      "GetCommTimeouts",
                                      "SetCommTimeouts",
                                      "GetCommState",
                                      "BuildCommDCBA",
                                      "SetCommState"};
constexpr int kDyingCodes[] = {-1,         kCodeWake, kCodeStage2, kCodeStart, kCodeFirstBlock,
                               kCodeBlock, kCodeEnd};

[[noreturn]] void Finding(const char* what) {
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

// Checks the byte stream the host writes, frame by frame, whatever pieces it comes in.
class FrameChecker {
public:
    // The code of the control frame being written once its code bytes are in, else -1.
    int CodeInProgress() const {
        if (announced != 0 || pending.size() < 10)
            return -1;
        return pending[8] * 256 + pending[9];
    }
    int EndFrames() const { return endFrames; }
    bool InsideFrame() const { return !pending.empty() || announced != 0; }

    void Take(const std::uint8_t* bytes, std::size_t count) {
        pending.insert(pending.end(), bytes, bytes + count);
        for (;;) {
            const std::size_t need = announced != 0 ? announced : kControlFrameSize;
            if (pending.size() < need)
                return;
            if (announced != 0)
                CheckBlock(pending.data(), announced);
            else
                CheckControl(pending.data());
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(need));
        }
    }
    void EndOfRun(bool lineGone) {
        if (InsideFrame() && !lineGone)
            Finding("the run ended inside a frame");
    }

private:
    void CheckControl(const std::uint8_t* f) {
        if (std::memcmp(f, kFrameMagic, sizeof kFrameMagic) != 0)
            Finding("control frame without the magic");
        const unsigned code = f[8] * 256u + f[9];
        const unsigned length = f[10] * 256u + f[11];
        switch (code) {
        case kCodeWake:
        case kCodeStage2:
        case kCodeStart:
        case kCodeFirstBlock:
        case kCodeEnd:
            if (length != 0)
                Finding("control frame with a length");
            endFrames += code == kCodeEnd ? 1 : 0;
            break;
        case kCodeBlock:
            if (length != kFirstBlockFrameSize && (length < 5 || length > 4084))
                Finding("block announced with an impossible length");
            announced = length;
            break;
        default:
            Finding("unknown control code");
        }
    }
    void CheckBlock(const std::uint8_t* f, std::size_t length) {
        const bool first = length == kFirstBlockFrameSize;
        if (first && std::memcmp(f, kFirstBlockPrefix, sizeof kFirstBlockPrefix) != 0)
            Finding("first block frame without its prefix");
        const std::size_t covered = length - 4;
        const auto crc = static_cast<std::uint32_t>(crc32(0L, f, static_cast<uInt>(covered)));
        const std::uint32_t sent = (std::uint32_t{f[covered]} << 24) | (f[covered + 1] << 16) |
                                   (f[covered + 2] << 8) | f[covered + 3];
        if (crc != sent)
            Finding("block frame with a wrong CRC-32");
        announced = 0;
    }

    std::vector<std::uint8_t> pending;
    std::size_t announced = 0;
    int endFrames = 0;
};

class FuzzHost : public UploadHost {
public:
    void ClearLog() override { lastLine.clear(); }
    void AddLine(const std::string& text) override { lastLine = text; }
    bool Execute(OpenDialog& dialog) override {
        dialog.FileName = image;
        return true;
    }
    void ErrorBox(const std::string&) override {}
    void ProcessMessages() override {}
    std::string image;
    std::string lastLine;
};

// The port as this input plays it.
struct Script {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t at = 0;
    DWORD now = 0;
    FrameChecker checker;
    std::string failing;
    int dieInCode = -1; // the line goes away in the middle of the first frame with this code
    bool lineGone = false;

    std::uint8_t Next() { return at < size ? data[at++] : 0; }
};

Script* script = nullptr;
std::vector<std::string> images;

const HANDLE kHandle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(42));

void InstallFakePort() {
    PlatformApi& api = Platform();
    auto ok = [](const char* step) -> BOOL { return script->failing == step ? 0 : 1; };
    api.GetVersionExA = [](OSVERSIONINFOA* info) {
        info->dwPlatformId = script->size > 1 && (script->data[1] & 1) ? 1 : 2;
        return BOOL{1};
    };
    api.CreateFileA = [](const char*, DWORD, DWORD, void*, DWORD, DWORD, HANDLE) {
        return script->failing == "CreateFileA" ? INVALID_HANDLE_VALUE : kHandle;
    };
    api.SetupComm = [ok](HANDLE, DWORD, DWORD) { return ok("SetupComm"); };
    api.GetCommTimeouts = [ok](HANDLE, COMMTIMEOUTS*) { return ok("GetCommTimeouts"); };
    api.SetCommTimeouts = [ok](HANDLE, COMMTIMEOUTS*) { return ok("SetCommTimeouts"); };
    api.GetCommState = [ok](HANDLE, DCB*) { return ok("GetCommState"); };
    api.BuildCommDCBA = [ok](const char*, DCB*) { return ok("BuildCommDCBA"); };
    api.SetCommState = [ok](HANDLE, DCB*) { return ok("SetCommState"); };
    api.PurgeComm = [](HANDLE, DWORD) { return BOOL{1}; };
    api.ClearCommError = [](HANDLE, DWORD*, void*) { return BOOL{1}; };
    api.CloseHandle = [](HANDLE) { return BOOL{1}; };
    api.GetTickCount = [] { return script->now; };
    api.MessageBoxA = [](HWND, const char*, const char*, UINT) { return 1; };
    api.WriteFile = [](HANDLE, const void* buffer, DWORD count, DWORD* written, void*) {
        if (count > kSendBufferSize)
            Finding("a write larger than the send buffer");
        *written = 0;
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        for (DWORD i = 0; i < count; ++i) {
            if (script->checker.CodeInProgress() == script->dieInCode)
                script->lineGone = true;
            if (script->lineGone)
                return BOOL{0}; // the device has gone: the rest of the write is lost
            script->checker.Take(bytes + i, 1);
            ++*written;
        }
        return BOOL{1};
    };
    api.ReadFile = [](HANDLE, void* buffer, DWORD count, DWORD* received, void*) {
        if (count > kReplyBufferSize)
            Finding("a read larger than the reply buffer");
        *received = 0;
        if (count == 0)
            return BOOL{1};
        if (script->lineGone) {
            script->now += 10;
            return BOOL{0};
        }
        if (script->at >= script->size) {
            script->now += 1000; // the input is spent: the line stays silent
            return BOOL{1};
        }
        const std::uint8_t lengthByte = script->Next();
        const std::size_t length = (lengthByte & 0x7Fu) * ((lengthByte & 0x80u) ? 16u : 1u);
        script->now += script->Next() * 10u;
        const std::size_t piece =
            std::min({length, static_cast<std::size_t>(count), script->size - script->at});
        std::memcpy(buffer, script->data + script->at, piece);
        script->at += piece;
        *received = static_cast<DWORD>(piece);
        return BOOL{1};
    };
}

void MakeImages() {
    char dir[] = "/tmp/brisko-fuzz-XXXXXX";
    if (mkdtemp(dir) == nullptr)
        Finding("no temporary directory");
    for (std::size_t size : kImageSizes) {
        const std::string path = std::string(dir) + "/image-" + std::to_string(size) + ".bin";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        for (std::size_t i = 0; i < size; ++i)
            std::fputc(static_cast<int>((i * 131u + 7u) & 0xFFu), f);
        std::fclose(f);
        images.push_back(path);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (images.empty())
        MakeImages();
    Script run;
    run.data = data;
    run.size = size;
    const std::uint8_t imageChoice = run.Next();
    const std::uint8_t portChoice = run.Next();
    run.failing = kOpenSteps[(portChoice >> 1) % std::size(kOpenSteps)];
    run.dieInCode = kDyingCodes[(portChoice >> 4) % std::size(kDyingCodes)];
    script = &run;
    InstallFakePort();

    FuzzHost host;
    host.image = images[imageChoice % images.size()];
    Serial.Close(); // every input starts with the port closed, as the program does
    portIndex = 2;
    UploadImage(host);
    run.checker.EndOfRun(run.lineGone);
    if (host.lastLine == "Done." && run.checker.EndFrames() == 0)
        Finding("\"Done.\" without a whole end frame on the line");
    if (run.lineGone && Serial.IsOpen())
        Finding("the port stayed open after its line went away");
    script = nullptr;
    return 0;
}
