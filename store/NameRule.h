// The one rule for the names of classes and students: a name a student can log in with (LOGIN
// splits its parameter at blanks, the clients read the name in the ANSI code page) and a folder
// a Windows client can use. The store's add operations apply it, so every program adding names
// agrees. Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace orvo::store {

enum class NameKind { Class, Student };

// `text` (UTF-8) without the blanks at both ends that typing and pasting leave: ASCII white
// space (a spreadsheet column's tab, a line's '\r'), U+00A0, the full-width blank U+3000 and the
// byte-order mark U+FEFF.
std::string TrimBlanks(std::string_view text);

// Why `name` (UTF-8, already trimmed) cannot be a class or student name, as a Chinese sentence
// that quotes the name; empty when it can. Refused: an empty name, a blank inside, a character
// the ANSI code page cannot encode, a name that is no portable folder name, and for a class a
// character a lesson's class text separates classes with.
std::string NameRefusal(std::string_view name, NameKind kind);

// Why student `name` cannot join a class that has a student differing from it only in letter
// case: a file system that ignores case (Windows) would give the two one folder.
std::string LetterCaseTwinRefusal(std::string_view name);

}  // namespace orvo::store
