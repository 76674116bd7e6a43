// AddFileStream against a scripted storage: which message each storage
// failure gives, where it lands relative to the progress line, and that the
// stream is released exactly once on every path.
#include <gtest/gtest.h>

#include "packer/file_counters.h"
#include "packer/file_stream.h"
#include "platform/platform.h"
#include "tests/support/output_recorder.h"
#include "tests/support/temp_tree.h"
#include "tests/support/text.h"

namespace {

struct Script {
    HRESULT create = S_OK;
    HRESULT headerWrite = S_OK;
    HRESULT contentWrite = S_OK;
};

class FakeStream final : public IStream {
public:
    FakeStream(const Script& script, std::string* written, int* releases)
        : script_(script), written_(written), releases_(releases) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override
    {
        ++*releases_;
        delete this;
        return 0;
    }
    HRESULT Read(void*, ULONG, ULONG*) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Write(const void* data, ULONG size, ULONG* written) override
    {
        HRESULT result = writes_++ == 0 ? script_.headerWrite : script_.contentWrite;
        if (result == S_OK)
            written_->append(static_cast<const char*>(data), size);
        *written = result == S_OK ? size : 0;
        return result;
    }

private:
    Script script_;
    std::string* written_;
    int* releases_;
    int writes_ = 0;
};

class FakeStorage final : public IStorage {
public:
    explicit FakeStorage(const Script& script) : script_(script) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateStream(const WCHAR* name, DWORD mode, DWORD, DWORD, IStream** stream) override
    {
        names.push_back(ToUtf8(name));
        modes.push_back(mode);
        if (script_.create != S_OK)
            return script_.create;
        *stream = new FakeStream(script_, &written, &streamReleases);
        return S_OK;
    }

    std::vector<std::string> names;
    std::vector<DWORD> modes;
    std::string written;
    int streamReleases = 0;

private:
    Script script_;
};

TEST(AddFileStream, StorageFailuresGiveTheirMessagesAfterTheProgressLine)
{
    struct Case {
        const char* name;
        Script script;
        std::string message;  // empty: success
        int releases;
    };
    const std::vector<Case> cases = {
        {"success", {}, "", 1},
        {"create denied", {STG_E_ACCESSDENIED, S_OK, S_OK},
         "\r\nError creating stream! Access denied!\r\n", 0},
        {"create out of memory", {STG_E_INSUFFICIENTMEMORY, S_OK, S_OK},
         "\r\nError creating stream! Out of memory!\r\n", 0},
        {"create other failure", {STG_E_INVALIDNAME, S_OK, S_OK},
         "\r\nError creating stream! Unknown error!!\r\n", 0},
        {"create success code other than S_OK", {S_FALSE, S_OK, S_OK},
         "\r\nError creating stream! Unknown error!!\r\n", 0},
        {"header write denied", {S_OK, STG_E_ACCESSDENIED, S_OK},
         "\r\nError writing stream! Access denied!\r\n", 1},
        {"header write fault", {S_OK, STG_E_WRITEFAULT, S_OK},
         "\r\nError writing stream! Disk fault!\r\n", 1},
        {"content write medium full", {S_OK, S_OK, STG_E_MEDIUMFULL},
         "\r\nError writing stream! Storage device is full!\r\n", 1},
        {"content write other failure", {S_OK, S_OK, STG_E_INVALIDFUNCTION},
         "\r\nError writing stream! Unknown error!!\r\n", 1},
        {"content write success code other than S_OK", {S_OK, S_OK, S_FALSE},
         "\r\nError writing stream! Unknown error!!\r\n", 1},
    };
    TempDir temp;
    WriteBytes(temp.path() / "data.bin", "payload");
    const Text path = PathText(temp.path() / "data.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeStorage storage(c.script);
        g_fileNumber = 7;
        g_fileTotal = 9;
        ResetOutput();

        int result = AddFileStream(path.c_str(), &storage);

        EXPECT_EQ(result, c.message.empty() ? 0 : -1);
        EXPECT_EQ(ToUtf8(OutputText()), "Adding file 7/9" + c.message);
        EXPECT_EQ(g_fileNumber, c.message.empty() ? 8u : 7u);
        EXPECT_EQ(storage.names, std::vector<std::string>{"7"});
        EXPECT_EQ(storage.modes, std::vector<DWORD>{0x1012});
        EXPECT_EQ(storage.streamReleases, c.releases);
    }
}

TEST(AddFileStream, WritesHeaderThenContent)
{
    TempDir temp;
    const std::string content = PatternBytes(3000, 5);
    WriteBytes(temp.path() / "a.bin", content);
    const Text path = PathText(temp.path() / "a.bin");
    FakeStorage storage({});
    g_fileNumber = 1;
    ResetOutput();

    ASSERT_EQ(AddFileStream(path.c_str(), &storage), 0);

    ASSERT_EQ(storage.written.size(), 1024 + content.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        EXPECT_EQ(static_cast<unsigned char>(storage.written[2 * i]), path[i] & 0xFF);
        EXPECT_EQ(static_cast<unsigned char>(storage.written[2 * i + 1]), path[i] >> 8);
    }
    EXPECT_EQ(storage.written.substr(2 * path.size(), 1024 - 2 * path.size()),
              std::string(1024 - 2 * path.size(), '\0'));
    EXPECT_EQ(storage.written.substr(1024), content);
}

TEST(AddFileStream, MissingFileWritesNothing)
{
    TempDir temp;
    const Text path = PathText(temp.path() / "missing.bin");
    FakeStorage storage({});
    g_fileNumber = 3;
    ResetOutput();

    EXPECT_EQ(AddFileStream(path.c_str(), &storage), -1);

    EXPECT_TRUE(OutputEvents().empty());
    EXPECT_TRUE(storage.names.empty());
    EXPECT_EQ(g_fileNumber, 3u);
}

}  // namespace
