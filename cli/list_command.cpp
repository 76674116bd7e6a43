// tvpack list: each stream's number, the size of the file it holds and the
// path in its name header, in number order; --json gives the same as a JSON
// array of {"number", "size", "path"} objects. --hash adds each file's
// SHA-256; --include and --exclude choose the files shown.
//
// The text table never prints two different paths alike: the backslash is
// only ever a separator, and "%" starts an escape (see Escaped()), so a
// literal "%" is one.
#include <algorithm>

#include "cli/archive.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/json.h"
#include "cli/path_pattern.h"
#include "cli/stream_hash.h"
#include "cli/text.h"

namespace {

struct Row {
    std::uint32_t number;
    std::uint64_t size;  // the file's bytes, header excluded
    std::u16string path;
    const ArchiveStream* stream;
    std::u16string sha256;  // with --hash
};

std::u16string TextTable(const std::vector<Row>& rows)
{
    std::size_t numberWidth = 1;
    std::size_t sizeWidth = 1;
    for (const Row& row : rows) {
        numberWidth = std::max(numberWidth, Decimal(row.number).size());
        sizeWidth = std::max(sizeWidth, Decimal(row.size).size());
    }
    std::u16string text;
    for (const Row& row : rows)
        text += PadLeft(Decimal(row.number), numberWidth) + u"  " + PadLeft(Decimal(row.size), sizeWidth) +
                (row.sha256.empty() ? u"" : u"  " + row.sha256) + u"  " + Escaped(row.path, Keep::Nothing) + u"\n";
    return text;
}

std::u16string JsonArray(const std::vector<Row>& rows)
{
    if (rows.empty())
        return u"[]\n";
    std::u16string json = u"[\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        json += u"  {\"number\": " + Decimal(rows[i].number) + u", \"size\": " + Decimal(rows[i].size) +
                (rows[i].sha256.empty() ? u"" : u", \"sha256\": \"" + rows[i].sha256 + u"\"") + u", \"path\": " + JsonString(rows[i].path) + u"}";
        json += i + 1 < rows.size() ? u",\n" : u"\n";
    }
    return json + u"]\n";
}

// Keeps the rows --include and --exclude choose. False, with each pattern
// that chose nothing named, when one did.
bool ChooseRows(const Arguments& arguments, const std::u16string& archivePath, std::vector<Row>* rows)
{
    FileChoice choice(arguments.includes, arguments.excludes);
    rows->erase(std::remove_if(rows->begin(), rows->end(), [&](const Row& row) { return !choice.Chooses(row.path); }),
                rows->end());
    for (const std::u16string& pattern : choice.PatternsMatchingNothing())
        WriteText(Channel::Err, u"tvpack: " + Quoted(archivePath) + u": " + pattern + u" chooses no file\n");
    return choice.PatternsMatchingNothing().empty();
}

bool HashRows(const ModArchive& archive, const std::u16string& archivePath, std::vector<Row>* rows)
{
    for (Row& row : *rows) {
        std::u16string problem = HashStreamContent(archive, *row.stream, &row.sha256);
        if (!problem.empty()) {
            WriteText(Channel::Err, u"tvpack: " + Quoted(archivePath) + u": stream " + Quoted(row.stream->name) +
                                        u": can't be read: " + problem + u"\n");
            return false;
        }
    }
    return true;
}

}  // namespace

int RunList(const Arguments& arguments)
{
    const std::u16string& archivePath = arguments.operands[0];
    ModArchive archive;
    std::u16string problem = archive.Open(NativePath(archivePath));
    if (!archive.Readable()) {
        WriteText(Channel::Err, u"tvpack: " + Quoted(archivePath) + u": " + problem + u"\n");
        return kExitFailure;
    }

    // An archive with faults still lists the streams that have a number and
    // a header, and then names every fault.
    std::vector<Row> rows;
    for (const ArchiveStream& stream : archive.Streams()) {
        std::uint32_t number = 0;
        if (stream.isStream && stream.hasHeader && ParseFileNumber(stream.name, &number))
            rows.push_back({number, stream.size - kHeaderBytes, stream.path, &stream, std::u16string()});
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.number < b.number; });
    if (!ChooseRows(arguments, archivePath, &rows))
        return kExitFailure;
    if (arguments.hash && !HashRows(archive, archivePath, &rows))
        return kExitFailure;

    WriteText(Channel::Out, arguments.json ? JsonArray(rows) : TextTable(rows));
    for (const std::u16string& text : archive.Faults())
        WriteText(Channel::Err, u"tvpack: " + Quoted(archivePath) + u": " + text + u"\n");
    return archive.Faults().empty() ? kExitSuccess : kExitFailure;
}
