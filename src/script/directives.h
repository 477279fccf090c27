// Directives: "#" lines acted on while the script loads. Each directive is a
// row of a table; a name not in the table is not a directive and the line is
// parsed as a command.
#pragma once
#include <string_view>

enum class DirectiveResult { Handled, NotADirective, Failed };

// Carries out the directive on the line, if it is one. On Failed the error
// has been reported.
DirectiveResult ApplyDirective(std::wstring_view line);

// Longest comment flag "#CommentFlag" accepts.
inline constexpr size_t kMaxCommentFlagLength = 15;
