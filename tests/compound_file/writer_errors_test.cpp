// The writer's refusals and failures: bad calls, failing sinks, the size
// limit. A failed archive must never carry a valid header.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include "platform/compound_file/memory_io.h"
#include "platform/compound_file/writer.h"
#include "tests/compound_file/test_archives.h"

namespace {

using cfb::Error;
using cfb_test::OpenError;

bool HeaderIsZero(const std::vector<std::uint8_t>& file) {
    return file.size() >= 512 && std::all_of(file.begin(), file.begin() + 512, [](std::uint8_t b) { return b == 0; });
}

TEST(WriterCalls, RefusalsLeaveTheArchiveUsable) {
    std::vector<std::uint8_t> file;
    cfb::Writer writer(std::make_unique<cfb::MemorySink>(file));
    EXPECT_EQ(writer.CreateStream(u"1"), Error::Closed);  // before Start()
    ASSERT_EQ(writer.Start(), Error::None);
    EXPECT_EQ(writer.Write("x", 1), Error::NoStreamOpen);
    EXPECT_EQ(writer.CloseStream(), Error::NoStreamOpen);
    EXPECT_EQ(writer.CreateStream(u"a/b"), Error::InvalidName);
    EXPECT_EQ(writer.CreateStream(std::u16string(32, u'7')), Error::InvalidName);
    ASSERT_EQ(writer.CreateStream(u"Data"), Error::None);
    EXPECT_EQ(writer.CreateStream(u"2"), Error::StreamAlreadyOpen);
    EXPECT_EQ(writer.Write(nullptr, 5), Error::InvalidArgument);
    ASSERT_EQ(writer.Write("hello", 5), Error::None);
    ASSERT_EQ(writer.CloseStream(), Error::None);
    EXPECT_EQ(writer.CreateStream(u"Data"), Error::NameExists);
    EXPECT_EQ(writer.CreateStream(u"DATA"), Error::NameExists);  // names compare without case
    ASSERT_EQ(writer.CreateStream(std::u16string(31, u'7')), Error::None);
    ASSERT_EQ(writer.Write("abc", 3), Error::None);
    EXPECT_EQ(writer.Failure(), Error::None);
    ASSERT_EQ(writer.Finish(), Error::None);  // completes the open stream
    EXPECT_TRUE(writer.Finished());
    EXPECT_EQ(writer.CreateStream(u"3"), Error::Closed);
    EXPECT_EQ(writer.Finish(), Error::Closed);
    EXPECT_EQ(cfb_test::CompareWithReader(file, {{u"Data", {'h', 'e', 'l', 'l', 'o'}},
                                                 {std::u16string(31, u'7'), {'a', 'b', 'c'}}}),
              "");
    EXPECT_EQ(cfb_test::CheckLayout(file), "");
}

TEST(WriterCalls, DestroyingAnUnfinishedWriterLeavesNoValidHeader) {
    std::vector<std::uint8_t> file;
    {
        cfb::Writer writer(std::make_unique<cfb::MemorySink>(file));
        ASSERT_EQ(writer.Start(), Error::None);
        ASSERT_EQ(writer.CreateStream(u"1"), Error::None);
        const std::vector<std::uint8_t> big = cfb_test::Pattern(50000, 3);
        ASSERT_EQ(writer.Write(big.data(), static_cast<std::uint32_t>(big.size())), Error::None);
    }
    EXPECT_TRUE(HeaderIsZero(file));
    EXPECT_NE(OpenError(file), "");
}

// The packer's sequence (per file a 1024-byte header, then the content).
// Returns the stage whose call failed first ("start", "create", "write",
// "close", "finish"), "" when all succeeded. With `space`, closing and
// finishing are watched for writes past the reservation.
std::string Pack(cfb::Writer& writer, Error& error, cfb_test::TestSink::Record* space = nullptr) {
    const std::vector<std::size_t> sizes = {2000, 200000, 100, 3000, 64, 9000, 0};
    const std::vector<std::uint8_t> header(1024, 0x41);
    auto watch = [space](bool on) { if (space) space->watch = on; };
    if ((error = writer.Start()) != Error::None) return "start";
    for (std::size_t i = 0; i < 150; ++i) {
        const std::vector<std::uint8_t> content = cfb_test::Pattern(sizes[i % sizes.size()], static_cast<std::uint32_t>(i));
        if ((error = writer.CreateStream(cfb_test::Utf16(std::to_string(i + 1)))) != Error::None) return "create";
        if ((error = writer.Write(header.data(), 1024)) != Error::None) return "write";
        if (!content.empty() &&
            (error = writer.Write(content.data(), static_cast<std::uint32_t>(content.size()))) != Error::None)
            return "write";
        watch(true);
        error = writer.CloseStream();
        watch(false);
        if (error != Error::None) return "close";
    }
    watch(true);
    error = writer.Finish();
    watch(false);
    return error != Error::None ? "finish" : "";
}

TEST(WriterFailures, DiskFullAtAnyPointLeavesNoValidArchive) {
    cfb_test::TestSink::Record complete;
    Error error;
    {
        cfb::Writer writer(std::make_unique<cfb_test::TestSink>(complete));
        ASSERT_EQ(Pack(writer, error), "");
    }
    ASSERT_EQ(OpenError(complete.bytes), "");
    const std::uint64_t total = complete.written;

    std::set<std::string> stages;
    std::vector<std::uint64_t> budgets = {0, 100, 511, 512, 513, 512 + 1024 + 2000, total - 1};
    for (std::uint64_t b = 1000; b < total; b += total / 97) budgets.push_back(b);
    for (std::uint64_t b = total - 2048; b < total; b += 256) budgets.push_back(b);
    for (std::uint64_t budget : budgets) {
        cfb_test::TestSink::Record record;
        record.budget = budget;
        cfb::Writer writer(std::make_unique<cfb_test::TestSink>(record));
        const std::string stage = Pack(writer, error);
        ASSERT_NE(stage, "") << "budget " << budget;
        EXPECT_EQ(error, Error::MediumFull) << "budget " << budget;
        // A failed writer keeps reporting its failure, and finishing abandons it.
        EXPECT_EQ(writer.Failure(), error);
        EXPECT_EQ(writer.CreateStream(u"late"), error);
        EXPECT_EQ(writer.Finish(), error);
        EXPECT_FALSE(writer.Finished());
        EXPECT_EQ(record.closes, 1);
        EXPECT_TRUE(record.bytes.empty() || HeaderIsZero(record.bytes)) << "budget " << budget << ", " << stage;
        EXPECT_NE(OpenError(record.bytes), "") << "budget " << budget;
        stages.insert(stage);
    }
    // The sweep met the disk's end while reserving the header, writing a
    // large stream, flushing the mini stream and writing the tables.
    EXPECT_EQ(stages, (std::set<std::string>{"start", "write", "close", "finish"}));
}

// With a sink that reserves space, closing a stream and finishing never need
// more than was reserved: a full disk is met by Start(), CreateStream() or
// Write(), calls whose failure the packer sees.
TEST(WriterFailures, ReservedSpaceCoversClosingAndFinishing) {
    cfb_test::TestSink::Record unlimited;
    Error error;
    {
        cfb::Writer writer(std::make_unique<cfb_test::TestSink>(unlimited));
        ASSERT_EQ(Pack(writer, error, &unlimited), "");
    }
    EXPECT_EQ(unlimited.writesPastReservation, 0);
    EXPECT_EQ(unlimited.reserved, unlimited.bytes.size());  // exactly the finished file
    ASSERT_EQ(OpenError(unlimited.bytes), "");

    std::set<std::string> stages;
    for (std::uint64_t capacity = 0; capacity < unlimited.bytes.size(); capacity += unlimited.bytes.size() / 211) {
        cfb_test::TestSink::Record record;
        record.capacity = capacity;
        cfb::Writer writer(std::make_unique<cfb_test::TestSink>(record));
        const std::string stage = Pack(writer, error, &record);
        stages.insert(stage);
        EXPECT_TRUE(stage == "start" || stage == "create" || stage == "write") << capacity << ": " << stage;
        EXPECT_EQ(record.writesPastReservation, 0) << capacity;
        EXPECT_NE(OpenError(record.bytes), "") << capacity;
    }
    EXPECT_EQ(stages.count("start"), 1u);
    EXPECT_EQ(stages.count("write"), 1u);

    // Right after a stream closes the reservation is exact; a new stream whose
    // entry needs another directory sector then fails at its creation.
    cfb_test::TestSink::Record record;
    cfb::Writer writer(std::make_unique<cfb_test::TestSink>(record));
    ASSERT_EQ(writer.Start(), Error::None);
    for (const char16_t* name : {u"1", u"2", u"3"}) {  // the root and three streams fill one directory sector
        ASSERT_EQ(writer.CreateStream(name), Error::None);
        ASSERT_EQ(writer.CloseStream(), Error::None);
    }
    record.capacity = record.reserved;
    EXPECT_EQ(writer.CreateStream(u"4"), Error::MediumFull);
    EXPECT_EQ(writer.Failure(), Error::None);  // nothing written: the archive is still sound
    record.watch = true;
    EXPECT_EQ(writer.Finish(), Error::None);
    EXPECT_EQ(record.writesPastReservation, 0);
    EXPECT_EQ(cfb_test::CompareWithReader(record.bytes, {{u"1", {}}, {u"2", {}}, {u"3", {}}}), "");
}

// The header is written last: when that write or the closing fails, the
// failure is reported and the file carries no valid header.
TEST(WriterFailures, FailingHeaderWriteOrCloseIsReported) {
    const struct {
        bool failHeader;
        Error closeError, expected;
    } cases[] = {{true, Error::None, Error::WriteFault}, {false, Error::MediumFull, Error::MediumFull}};
    for (const auto& c : cases) {
        cfb_test::TestSink::Record record;
        record.error = Error::WriteFault, record.failHeader = c.failHeader, record.closeError = c.closeError;
        cfb::Writer writer(std::make_unique<cfb_test::TestSink>(record));
        ASSERT_EQ(writer.Start(), Error::None);
        for (const cfb_test::TestStream& s : cfb_test::NumberedStreams(20, {100, 5000})) {
            ASSERT_EQ(writer.CreateStream(s.name), Error::None);
            ASSERT_EQ(writer.Write(s.bytes.data(), static_cast<std::uint32_t>(s.bytes.size())), Error::None);
            ASSERT_EQ(writer.CloseStream(), Error::None);
        }
        EXPECT_EQ(writer.Finish(), c.expected);
        EXPECT_FALSE(writer.Finished());
        EXPECT_EQ(record.closes, 1);
        if (c.failHeader) {
            EXPECT_TRUE(HeaderIsZero(record.bytes));
            EXPECT_NE(OpenError(record.bytes), "");
        }
    }
}

// The size limit, exercised without writing gigabytes: the sink keeps
// nothing and records only how far the file reached.
TEST(WriterLimit, StreamGrowingPastTwoGigabytesFailsCleanly) {
    cfb_test::TestSink::Record record;
    record.keep = false;
    cfb::Writer writer(std::make_unique<cfb_test::TestSink>(record));
    ASSERT_EQ(writer.Start(), Error::None);
    ASSERT_EQ(writer.CreateStream(u"1"), Error::None);
    const std::vector<std::uint8_t> chunk(16u << 20, 0x5A);
    Error error = Error::None;
    std::uint64_t accepted = 0;
    while (accepted < (std::uint64_t{3} << 30) &&
           (error = writer.Write(chunk.data(), static_cast<std::uint32_t>(chunk.size()))) == Error::None) {
        accepted += chunk.size();
    }
    EXPECT_EQ(error, Error::TooLarge);
    EXPECT_LT(record.end, cfb::kMaxFileBytes);  // refused before writing
    EXPECT_EQ(accepted, record.end - 512);
    // Not over-cautious: with the FAT's 4 bytes per 512, the data could never
    // exceed 128/129 of the limit; all but the refused chunk got in.
    EXPECT_GT(accepted + 2 * chunk.size(), cfb::kMaxFileBytes / 129 * 128);
    EXPECT_EQ(writer.CloseStream(), Error::TooLarge);
    EXPECT_EQ(writer.Finish(), Error::TooLarge);
    EXPECT_FALSE(record.headerWritten);
    EXPECT_EQ(record.closes, 1);
}

TEST(WriterLimit, ArchiveJustBelowTheLimitFinishes) {
    cfb_test::TestSink::Record record;
    record.keep = false;
    cfb::Writer writer(std::make_unique<cfb_test::TestSink>(record));
    ASSERT_EQ(writer.Start(), Error::None);
    const std::vector<std::uint8_t> chunk(64u << 20, 0x33);
    // 31 streams of 64 MiB and one of 40 MiB: 2024 MiB of data, and with the
    // FAT's 16 MiB just below 2 GiB.
    for (int i = 1; i <= 32; ++i) {
        ASSERT_EQ(writer.CreateStream(cfb_test::Utf16(std::to_string(i))), Error::None);
        ASSERT_EQ(writer.Write(chunk.data(), i < 32 ? 64u << 20 : 40u << 20), Error::None);
        if (i < 32) {
            ASSERT_EQ(writer.CloseStream(), Error::None);
        }
    }
    EXPECT_EQ(writer.Finish(), Error::None);
    EXPECT_TRUE(writer.Finished());
    EXPECT_TRUE(record.headerWritten);
    EXPECT_LT(record.end, cfb::kMaxFileBytes);
    EXPECT_GT(record.end, cfb::kMaxFileBytes - (16u << 20));
}

}  // namespace
