// RegExMatchObject: keeps a copy of the part of the haystack its groups
// span, each group's start and length, the group names and the mark.
//
// Invariant: a group that did not take part has start -1 and length 0;
// every other span lies inside HaystackPart once HaystackPartStart is
// subtracted.
#include "regex/match_object.h"

#include <algorithm>
#include <string>
#include <vector>

#include "objects/builtin_functions.h"
#include "values/object.h"
#include "values/variable.h"

namespace {

// The members a match object answers to besides group names.
enum class MatchMember : uint8_t { Pos, Len, Value, Name, Count, Mark };
struct MemberRow {
  const wchar_t* Name;
  MatchMember Member;
};
constexpr MemberRow kMembers[] = {
    {L"Pos", MatchMember::Pos},   {L"Len", MatchMember::Len},     {L"Value", MatchMember::Value},
    {L"Name", MatchMember::Name}, {L"Count", MatchMember::Count}, {L"Mark", MatchMember::Mark},
};

struct GroupSpan {
  ptrdiff_t Start = -1;
  size_t Length = 0;
};

class RegExMatchObject : public ObjectBase {
 public:
  using ObjectBase::Invoke;
  const wchar_t* Type() override { return L"RegExMatch"; }
  ResultCode Invoke(ExprToken& result, ExprToken& thisToken, int flags, ExprToken** params, int count) override;

  std::wstring Mark;
  bool HasMark = false;
  std::wstring HaystackPart;
  size_t HaystackPartStart = 0;
  std::vector<GroupSpan> GroupSpans;
  std::vector<std::wstring> GroupNames;  // empty when the pattern names no group

 private:
  // The group a parameter selects, or -1.
  ptrdiff_t SelectGroup(ExprToken& param);
  // A group's text.
  std::wstring_view GroupText(size_t group) const;
};

// A number selects by position, a text by name (the first of that name
// that took part, else the first of that name).
ptrdiff_t RegExMatchObject::SelectGroup(ExprToken& param) {
  ptrdiff_t count = static_cast<ptrdiff_t>(GroupSpans.size());
  if (ParamNumericType(param) == PURE_INTEGER) {
    int64_t n = ParamInteger(param);
    return n >= 0 && n < count ? static_cast<ptrdiff_t>(n) : -1;
  }
  if (GroupNames.empty()) return -1;
  wchar_t buffer[kFloatTextChars];
  std::wstring_view name = ParamText(param, buffer);
  ptrdiff_t first = -1;
  for (ptrdiff_t group = 1; group < count; ++group) {
    if (GroupNames[static_cast<size_t>(group)].empty() || !EqualsNoCase(GroupNames[static_cast<size_t>(group)], name))
      continue;
    if (GroupSpans[static_cast<size_t>(group)].Start >= 0) return group;
    if (first < 0) first = group;
  }
  return first;
}

std::wstring_view RegExMatchObject::GroupText(size_t group) const {
  const GroupSpan& span = GroupSpans[group];
  if (span.Start < 0 || span.Length == 0) return {};
  return std::wstring_view(HaystackPart).substr(static_cast<size_t>(span.Start) - HaystackPartStart, span.Length);
}

// Group texts by number or name, then the properties of the table.
ResultCode RegExMatchObject::Invoke(ExprToken& result, ExprToken&, int flags, ExprToken** params, int count) {
  int kind = InvokeKindOf(flags);
  if (count < 1 || count > 2 || kind == IT_SET) return ResultCode::NotHandled;
  ptrdiff_t group = (count == 1 && kind == IT_CALL) ? -1 : SelectGroup(*params[count - 1]);
  if (count == 1 && group >= 0) {
    SetResultText(result, GroupText(static_cast<size_t>(group)));
    return ResultCode::Ok;
  }
  wchar_t buffer[kFloatTextChars];
  std::wstring_view name = ParamText(*params[0], buffer);
  const MemberRow* member = nullptr;
  for (const MemberRow& row : kMembers)
    if (EqualsNoCase(row.Name, name)) member = &row;
  if (!member) return ResultCode::NotHandled;
  if (count == 1) group = 0;
  bool valid = group >= 0;
  size_t g = valid ? static_cast<size_t>(group) : 0;
  switch (member->Member) {
    case MatchMember::Pos:
      if (valid) result.SetInteger(GroupSpans[g].Start + 1);
      break;
    case MatchMember::Len:
      if (valid) result.SetInteger(static_cast<int64_t>(GroupSpans[g].Length));
      break;
    case MatchMember::Value:
      if (!valid) return ResultCode::NotHandled;
      SetResultText(result, GroupText(g));
      break;
    case MatchMember::Name:
      if (valid && !GroupNames.empty()) SetResultText(result, GroupNames[g]);
      break;
    case MatchMember::Count:
      if (count == 1) result.SetInteger(static_cast<int64_t>(GroupSpans.size()) - 1);
      break;
    case MatchMember::Mark:
      if (count == 1 && HasMark) SetResultText(result, Mark);
      break;
  }
  return ResultCode::Ok;
}

}  // namespace

// Copies spans, names, the mark and the haystack part the groups cover.
IObject* CreateMatchObject(const CachedPattern& entry, std::wstring_view subject, const PCRE2_SIZE* ovector, int pairs,
                           const wchar_t* mark) {
  auto* match = new (std::nothrow) RegExMatchObject;
  if (!match) return nullptr;
  size_t groups = entry.CaptureCount + 1;
  match->GroupSpans.resize(groups);
  size_t low = subject.size(), high = 0;
  for (size_t g = 0; g < groups && g < static_cast<size_t>(pairs); ++g) {
    if (ovector[2 * g] == PCRE2_UNSET) continue;
    size_t start = ovector[2 * g], end = std::max(ovector[2 * g + 1], start);
    match->GroupSpans[g] = {static_cast<ptrdiff_t>(start), end - start};
    low = std::min(low, start);
    high = std::max(high, end);
  }
  if (high > low) {
    match->HaystackPart.assign(subject.substr(low, high - low));
    match->HaystackPartStart = low;
  }
  match->GroupNames = entry.GroupNames;
  if (mark) {
    match->Mark = mark;
    match->HasMark = true;
  }
  return match;
}
