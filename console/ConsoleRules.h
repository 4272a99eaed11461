// The rules behind the main window's class and student lists, free of widgets so that they can be
// tested alone: the students' sort order, the class list's order and look-ups, the search by
// name, and what the window says after an add. Pure functions; any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <vector>

#include "store/OrvoDiskDbUnit.h"

namespace orvo::console {

// The five texts of a student row: Id, class, name, login id, password.
inline constexpr int kStudentColumns = 5;
using StudentTexts = std::array<QString, kStudentColumns>;

// The system's order of names (platform::CompareNames: pinyin for Chinese), as -1, 0 or 1.
int CompareText(const QString& a, const QString& b);

// Row `a` against row `b` by column `sortCol` (all columns compare as text), times `sortWay`
// (1 ascending, -1 descending, 0 leaves every pair equal).
int CompareStudents(const StudentTexts& a, const StudentTexts& b, int sortCol, int sortWay);

// The direction after a header click: it flips between ascending and descending, and anything
// but ascending (also the unsorted start) becomes ascending.
int NextSortWay(int sortWay);

// The class list's order: that of CompareText.
void SortClassNames(QStringList& names);
// Where `name` takes its place in `names` (sorted by SortClassNames).
int SortedClassPosition(const QStringList& names, const QString& name);
// The first item equal to `text` ignoring letter case (core::EqualIgnoringCase), or -1.
int IndexIgnoringCase(const QStringList& items, const QString& text);

// `text` in Chinese quotation marks, as the console's messages quote what was typed or stored.
QString Quoted(const QString& text);

// What the window says after adding students: how many were added, then each name not added
// with the reason (refused by the rule, or in the class already).
QString StudentsAddedText(const store::AddResult& result);
// Why the class of `result` was not added: the rule's reason, or that it exists already.
QString ClassNotAddedText(const store::AddResult& result);

// The first of `names` (in display order) that contains `text`, letter case counting; -1 for an
// empty text or when none does.
int FindName(const std::vector<QString>& names, const QString& text);

}  // namespace orvo::console
