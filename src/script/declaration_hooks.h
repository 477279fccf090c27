// The loader's way to the function and class declarations, which the object
// layer owns: the line parser asks these whether a line defines a function
// or class or declares variables, and the loader asks them to finish up.
// The object layer installs the hooks at start-up; without them no line is
// a definition or declaration and a function definition is a load error.
#pragma once
#include <cstddef>
#include <string_view>

#include "base/error_sink.h"
#include "base/result_code.h"

class Object;
struct ScriptLine;

inline constexpr wchar_t kDefinitionsUnavailable[] = L"Functions and classes are not available.";

struct DeclarationHooks {
  bool (*IsFunctionDefinition)(std::wstring_view line, bool& opensBody) = nullptr;
  ResultCode (*DeclareFunction)(std::wstring_view header, Object* classObject) = nullptr;
  void (*NoteScriptLine)(ScriptLine& line) = nullptr;
  ResultCode (*ParseDeclaration)(std::wstring_view text, bool& handled) = nullptr;
  size_t (*InitializerEnd)(std::wstring_view text, size_t at) = nullptr;
  void (*MoveStaticInitializers)() = nullptr;
  void (*ResetDeclarations)() = nullptr;
  ResultCode (*ClassifyClassLine)(std::wstring_view text, int lineNumber, bool& handled) = nullptr;
  Object* (*ClassBodyObject)() = nullptr;
  ResultCode (*CheckClassesClosed)() = nullptr;
  ResultCode (*LinkClasses)() = nullptr;
  ResultCode (*FlushPendingClassHeader)() = nullptr;
  void (*ResetClassDeclarations)() = nullptr;
  void (*FinishAllFunctionScopes)() = nullptr;
};

// The installed hooks (part of the script layer's state).
DeclarationHooks& Declarations();

// Whether a line is a function definition's header; sets whether it opens
// the body with "{" on the same line.
inline bool IsFunctionDefinition(std::wstring_view line, bool& opensBody) {
  return Declarations().IsFunctionDefinition && Declarations().IsFunctionDefinition(line, opensBody);
}
// Defines a function (a method when classObject is not null).
inline ResultCode DeclareFunction(std::wstring_view header, Object* classObject) {
  if (!Declarations().DeclareFunction) return ReportLoadError(kDefinitionsUnavailable, header);
  return Declarations().DeclareFunction(header, classObject);
}
// Tells the declarations code about each line added to the script.
inline void NoteScriptLine(ScriptLine& line) {
  if (Declarations().NoteScriptLine) Declarations().NoteScriptLine(line);
}
// A global, local or static declaration; `handled` says whether it was one.
inline ResultCode ParseDeclaration(std::wstring_view text, bool& handled) {
  handled = false;
  return Declarations().ParseDeclaration ? Declarations().ParseDeclaration(text, handled) : ResultCode::Ok;
}
// Where the initialiser starting at `at` ends (at a top-level comma).
inline size_t InitializerEnd(std::wstring_view text, size_t at) {
  return Declarations().InitializerEnd ? Declarations().InitializerEnd(text, at) : text.size();
}
inline void MoveStaticInitializers() {
  if (Declarations().MoveStaticInitializers) Declarations().MoveStaticInitializers();
}
inline void ResetDeclarations() {
  if (Declarations().ResetDeclarations) Declarations().ResetDeclarations();
}
// A line of a class body or a class header; `handled` says whether it was.
inline ResultCode ClassifyClassLine(std::wstring_view text, int lineNumber, bool& handled) {
  handled = false;
  return Declarations().ClassifyClassLine ? Declarations().ClassifyClassLine(text, lineNumber, handled)
                                          : ResultCode::Ok;
}
// The class whose body is being read, or null.
inline Object* ClassBodyObject() { return Declarations().ClassBodyObject ? Declarations().ClassBodyObject() : nullptr; }
inline ResultCode CheckClassesClosed() {
  return Declarations().CheckClassesClosed ? Declarations().CheckClassesClosed() : ResultCode::Ok;
}
inline ResultCode LinkClasses() { return Declarations().LinkClasses ? Declarations().LinkClasses() : ResultCode::Ok; }
inline ResultCode FlushPendingClassHeader() {
  return Declarations().FlushPendingClassHeader ? Declarations().FlushPendingClassHeader() : ResultCode::Ok;
}
inline void ResetClassDeclarations() {
  if (Declarations().ResetClassDeclarations) Declarations().ResetClassDeclarations();
}
inline void FinishLoadedFunctionScopes() {
  if (Declarations().FinishAllFunctionScopes) Declarations().FinishAllFunctionScopes();
}
