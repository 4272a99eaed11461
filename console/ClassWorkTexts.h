// What the hand-in window shows of class work, apart from its widgets: the report's rows with the
// keys they sort by, the summary line, and the Chinese texts of a collection's and a hand-out's
// end. Pure functions; any thread.
#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "classwork/CollectWork.h"
#include "classwork/HandInReport.h"
#include "classwork/HandOut.h"

namespace orvo::console {

// The columns 姓名, 文件数, 字节数, 最后修改, 状态.
inline constexpr int kHandInColumns = 5;

struct HandInRow {
  std::array<QString, kHandInColumns> texts;
  // What each column sorts by: the name by its place in the roster (the console's name order),
  // the numbers and times as numbers, the status as text (0 here).
  std::array<uint64_t, kHandInColumns> keys{};
  bool handedIn = false;
};

std::vector<HandInRow> HandInRows(const classwork::ClassReport& report);

// "已交 N 人，未交 M 人", and what is missing when the report was stopped.
QString SummaryText(const classwork::ClassReport& report);

// The end of a collection: where the archive is, how many files of how many students, who has
// nothing and each item left out; or what ended it and what became of the archive.
QString CollectResultText(const classwork::CollectResult& result);

// The question before a hand-out of `item` into `into` (empty: the students' folders themselves).
QString HandOutConfirmText(const QString& item, const QString& className, std::size_t students,
                           const QString& into);

// The end of a hand-out: the counts, then one line per student reached saying copied, skipped or
// failed and why; or why nothing was copied.
QString HandOutResultText(const classwork::HandOutResult& result);

}  // namespace orvo::console
