// Variable records and name lookup.
#include "values/variable.h"

#include <windows.h>

#include "objects/object.h"

Variable::Variable(std::wstring name, uint8_t scope) : name_(std::move(name)), scope_(scope) {}

Variable::~Variable() { ReleaseObject(); }

// Drops the held object reference, if any.
void Variable::ReleaseObject() {
  if (kind_ == VarKind::Object && object_) object_->Release();
  object_ = nullptr;
}

void Variable::Assign(std::wstring_view text) {
  ReleaseObject();
  text_.assign(text);
  kind_ = VarKind::Text;
}

void Variable::AssignInteger(int64_t value) {
  ReleaseObject();
  integer_ = value;
  kind_ = VarKind::Integer;
}

void Variable::AssignObject(IObject* object) {
  ReleaseObject();
  text_.clear();
  object_ = object;
  kind_ = VarKind::Object;
}

std::wstring Variable::TextOf() const {
  switch (kind_) {
    case VarKind::Integer: return std::to_wstring(integer_);
    case VarKind::Object: return std::wstring();
    case VarKind::Text: break;
  }
  return text_;
}

int CompareNamesNoCase(std::wstring_view a, std::wstring_view b) {
  int result = CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                    static_cast<int>(b.size()), TRUE);
  return result - CSTR_EQUAL;
}

VarList::~VarList() {
  for (Variable* var : vars_) delete var;
}

// Index of the first variable whose name is not less than the given one.
size_t VarList::LowerBound(std::wstring_view name) const {
  size_t low = 0, high = vars_.size();
  while (low < high) {
    size_t mid = (low + high) / 2;
    if (CompareNamesNoCase(vars_[mid]->Name(), name) < 0)
      low = mid + 1;
    else
      high = mid;
  }
  return low;
}

Variable* VarList::Find(std::wstring_view name) const {
  size_t at = LowerBound(name);
  if (at < vars_.size() && CompareNamesNoCase(vars_[at]->Name(), name) == 0) return vars_[at];
  return nullptr;
}

Variable* VarList::FindOrAdd(std::wstring_view name, uint8_t scope) {
  size_t at = LowerBound(name);
  if (at < vars_.size() && CompareNamesNoCase(vars_[at]->Name(), name) == 0) return vars_[at];
  auto* var = new Variable(std::wstring(name), scope);
  vars_.insert(vars_.begin() + static_cast<ptrdiff_t>(at), var);
  return var;
}

void VarList::ReleaseObjects() {
  for (Variable* var : vars_)
    if (var->Kind() == VarKind::Object) var->Assign(std::wstring_view());
}
