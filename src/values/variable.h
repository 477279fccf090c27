// Variables: the record that holds a script value and the sorted list in
// which variables are found by name (case-insensitively).
//
// This is the start-up subset: text, integer and object values with exact
// text on demand. Invariants: a variable always has a text form on request;
// an object-holding variable owns one reference; names never change.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class IObject;

enum class VarKind : uint8_t { Text, Integer, Object };

// Scope flags of a variable record.
enum : uint8_t {
  VAR_GLOBAL = 0x01,
  VAR_LOCAL = 0x02,
  VAR_DECLARED = 0x40,
  VAR_SUPER_GLOBAL = 0x80,
};

class Variable {
 public:
  explicit Variable(std::wstring name, uint8_t scope);
  ~Variable();
  Variable(const Variable&) = delete;
  Variable& operator=(const Variable&) = delete;

  const std::wstring& Name() const { return name_; }
  uint8_t Scope() const { return scope_; }
  void AddScope(uint8_t flags) { scope_ |= flags; }
  VarKind Kind() const { return kind_; }

  void Assign(std::wstring_view text);
  void AssignInteger(int64_t value);
  // Takes over the caller's reference.
  void AssignObject(IObject* object);
  // The text form: numbers are written in decimal, objects read as "".
  std::wstring TextOf() const;
  int64_t IntegerValue() const { return integer_; }
  IObject* ObjectValue() const { return kind_ == VarKind::Object ? object_ : nullptr; }

 private:
  void ReleaseObject();

  std::wstring name_;
  std::wstring text_;
  int64_t integer_ = 0;
  IObject* object_ = nullptr;
  VarKind kind_ = VarKind::Text;
  uint8_t scope_;
};

// A list of variables sorted by case-insensitive name; records live as long
// as the list (the program), so pointers to them stay valid.
class VarList {
 public:
  VarList() = default;
  ~VarList();
  VarList(const VarList&) = delete;
  VarList& operator=(const VarList&) = delete;

  Variable* Find(std::wstring_view name) const;
  Variable* FindOrAdd(std::wstring_view name, uint8_t scope);
  size_t Count() const { return vars_.size(); }
  // Empties every variable that holds an object, releasing the objects.
  void ReleaseObjects();

 private:
  size_t LowerBound(std::wstring_view name) const;
  std::vector<Variable*> vars_;
};

// Ordinal case-insensitive comparison used for every name lookup.
int CompareNamesNoCase(std::wstring_view a, std::wstring_view b);
