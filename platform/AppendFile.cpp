#include "platform/AppendFile.h"

#include <algorithm>

#include "platform/AppendTarget.h"

namespace qor {
namespace {

// How far a torn rest is looked back for, a piece at a time.
constexpr std::size_t TailPiece = 4096;

// The end of the file's last whole record: its size when it ends with the terminator, else
// just after the last terminator, 0 when there is none.
TResult<std::uint64_t> LastRecordEnd(IAppendTarget& file, std::uint64_t size,
                                     std::string_view terminator) {
    if (size < terminator.size()) {
        return std::uint64_t{0};
    }
    auto last = file.ReadAt(size - terminator.size(), terminator.size());
    if (!last) {
        return Fail(last.Error());
    }
    if (*last == terminator) {
        return size; // the usual case: nothing torn
    }
    // Backwards a piece at a time; each piece also holds the start of the one after it, so
    // a terminator across two pieces is found.
    std::uint64_t end = size;
    while (end > 0) {
        const std::uint64_t start = end > TailPiece ? end - TailPiece : 0;
        const std::uint64_t until = std::min<std::uint64_t>(size, end + terminator.size() - 1);
        auto piece = file.ReadAt(start, static_cast<std::size_t>(until - start));
        if (!piece) {
            return Fail(piece.Error());
        }
        if (const std::size_t found = WholeRecordsEnd(*piece, terminator); found > 0) {
            return start + found;
        }
        end = start;
    }
    return std::uint64_t{0};
}

} // namespace

std::size_t WholeRecordsEnd(std::string_view text, std::string_view terminator) {
    const std::size_t at = text.rfind(terminator);
    return at == std::string_view::npos ? 0 : at + terminator.size();
}

TResult<void> AppendRecord(const std::string& path, std::string_view record,
                           const TAppendRules& rules) {
    auto opened = OpenAppendTarget(path);
    if (!opened) {
        return Fail(opened.Error());
    }
    std::unique_ptr<IAppendTarget> file = std::move(*opened);
    const auto size = file->Size();
    if (!size) {
        return Fail(size.Error());
    }
    auto end = LastRecordEnd(*file, *size, rules.Terminator);
    if (!end) {
        return Fail(end.Error());
    }
    if (*end < *size) {
        if (auto cut = file->Truncate(*end); !cut) {
            return cut;
        }
    }
    if (*end > 0 && *end + record.size() > rules.Limit) {
        file.reset(); // closed first: a file open elsewhere cannot be renamed on every system
        if (auto moved = RenameOver(path, rules.OlderPath); !moved) {
            return moved;
        }
        opened = OpenAppendTarget(path);
        if (!opened) {
            return Fail(opened.Error());
        }
        file = std::move(*opened);
        *end = 0;
    }
    auto written = file->Append(record);
    if (written) {
        written = file->Flush();
    }
    if (!written) {
        (void)file->Truncate(*end); // what went in of the record goes again
    }
    return written;
}

} // namespace qor
