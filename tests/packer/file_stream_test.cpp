// AddFileStream on a scripted storage: the message each failure gives, after
// the progress line (the writer's failures reach it as the storage adapters
// map them to result codes), the stream released once on every path, and a
// stream of the path's UTF-16 header followed by the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "packer/file_counters.h"
#include "packer/file_stream.h"
#include "platform/storage_calls.h"

namespace {

std::u16string g_pane;  // the text the pane would show

struct Script { HRESULT create = S_OK, header = S_OK, content = S_OK; };

// The storage and its one stream: what was asked of them, and what they answer.
class FakeStorage final : public IStorage, public IStream {
public:
    explicit FakeStorage(const Script& script) : script_(script) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return ++releases, 1; }
    HRESULT CreateStream(const WCHAR* name, DWORD mode, DWORD, DWORD, IStream** stream) override {
        names += name, this->mode = mode;
        if (script_.create == S_OK) *stream = this;
        return script_.create;
    }
    HRESULT Read(void*, ULONG, ULONG*) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Write(const void* data, ULONG size, ULONG* done) override {
        const HRESULT result = written.empty() ? script_.header : script_.content;
        if (result == S_OK) written.append(static_cast<const char*>(data), size);
        return *done = result == S_OK ? size : 0, result;
    }

    std::u16string names;
    std::string written;
    DWORD mode = 0;
    int releases = 0;  // of the stream: the storage is the caller's to release

private:
    Script script_;
};

TEST(AddFileStream, FailuresGiveTheirMessagesAfterTheProgressLine) {
    using cfb::Error;
    const struct { Script script; std::u16string message; } cases[] = {  // no message: success
        {{}, u""},
        {{StorageResult(Error::AccessDenied)}, u"\r\nError creating stream! Access denied!\r\n"},
        {{StorageResult(Error::StreamAlreadyOpen)}, u"\r\nError creating stream! Access denied!\r\n"},
        {{StorageResult(Error::OutOfMemory)}, u"\r\nError creating stream! Out of memory!\r\n"},
        {{StorageResult(Error::InvalidName)}, u"\r\nError creating stream! Unknown error!!\r\n"},
        {{S_FALSE}, u"\r\nError creating stream! Unknown error!!\r\n"},
        {{S_OK, StorageResult(Error::AccessDenied)}, u"\r\nError writing stream! Access denied!\r\n"},
        {{S_OK, StorageResult(Error::WriteFault)}, u"\r\nError writing stream! Disk fault!\r\n"},
        {{S_OK, S_OK, StorageResult(Error::MediumFull)}, u"\r\nError writing stream! Storage device is full!\r\n"},
        {{S_OK, S_OK, StorageResult(Error::TooLarge)}, u"\r\nError writing stream! Unknown error!!\r\n"},
        {{S_OK, S_OK, S_FALSE}, u"\r\nError writing stream! Unknown error!!\r\n"},
    };
    const std::filesystem::path file = std::filesystem::temp_directory_path() / u8"tvp-\u00e9t\u00e9-\U0001F600.bin";
    const std::string content(3000, 'c');
    std::ofstream(file, std::ios::binary) << content;
    const std::u16string path = file.u16string();
    std::string header(1024, '\0');
    for (std::size_t i = 0; i < path.size(); ++i) header[2 * i] = char(path[i] & 0xFF), header[2 * i + 1] = char(path[i] >> 8);
    for (const auto& c : cases) {
        FakeStorage storage(c.script);
        g_fileNumber = 7, g_fileTotal = 9, g_pane = u"Creating\r\n";
        EXPECT_EQ(AddFileStream(path.c_str(), &storage), c.message.empty() ? 0 : -1);
        EXPECT_EQ(g_pane, u"Creating\r\nAdding file 7/9" + c.message);
        EXPECT_EQ(g_fileNumber, c.message.empty() ? 8u : 7u);
        EXPECT_TRUE(storage.names == u"7" && storage.mode == 0x1012);
        EXPECT_EQ(storage.releases, c.script.create == S_OK ? 1 : 0);
        EXPECT_TRUE(!c.message.empty() || storage.written == header + content);
    }
    std::filesystem::remove(file);
}

}  // namespace

void AppendOutput(const WCHAR* text) { g_pane += text; }
void ReplaceCurrentOutputLine(const WCHAR* text) { g_pane.erase(g_pane.rfind(u'\n') + 1) += text; }
int AskOverwrite(const WCHAR*) { return 0; }
