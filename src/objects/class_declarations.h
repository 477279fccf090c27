// Class definitions while the script loads: recognising a class header,
// the class-body state machine (methods, nested classes, properties with
// their accessors, static and instance variables), and resolving base
// classes named before they were defined.
//
// Invariants:
// - A class object is an Object whose "__Class" is its full dotted name and
//   whose base is its parent class. A top-level class lives in a declared
//   super-global variable of its name, a nested class in a field of its
//   enclosing class; both hold the class's one reference.
// - At most kMaxClassNesting classes are open at once; the current full
//   name always equals the "__Class" of the innermost open class.
// - A base class named before its definition is a placeholder object that
//   becomes the class itself when the class is defined, so classes that
//   extend it never need re-linking; LinkClasses reports any placeholder
//   nobody defined.
// - Instance-variable keys hold an empty text in the class object, like a
//   static variable without an initialiser: reading one through the class
//   gives "", and instances get their own value from __Init.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result_code.h"

class Object;
class Property;

namespace decl {

// Deepest nesting of class definitions.
inline constexpr int kMaxClassNesting = 5;
// Longest full dotted class name.
inline constexpr size_t kMaxClassName = 255;

// An open class: its object and where its header is (for "Missing }").
struct OpenClass {
  Object* Class = nullptr;
  int FileIndex = 0;
  int Line = 0;
};

// A base class named before its definition.
struct UnresolvedClass {
  std::wstring Name;
  Object* Placeholder = nullptr;  // owns one reference until resolved
  int FileIndex = 0;
  int Line = 0;
};

// A header waiting for the "{" that opens its body on the next line.
enum class HeaderKind { Class, Property, Accessor };
struct PendingHeader {
  HeaderKind Kind = HeaderKind::Class;
  std::wstring Text;
  int Line = 0;
};

// Parse-time class state (kept in ObjectsState), written only by the
// class declarations code while loading.
struct ClassParseState {
  std::vector<OpenClass> Open;          // the nesting stack, innermost last
  std::wstring FullName;                // of the innermost open class
  Property* CurrentProperty = nullptr;  // the property whose body is open
  std::wstring PropertyName;            // its name and its parameter list
  std::wstring PropertyParams;          // as "(...)"
  std::optional<PendingHeader> Pending;
  std::vector<UnresolvedClass> Unresolved;
  std::vector<Object*> AllClasses;  // every class defined, for re-basing
  // Labels defined just before a top-level class: they mark the first line
  // after the class, not its initialisers or methods, so they wait while
  // the class is open.
  int LabelsBeforeClass = 0;
};

// Whether a line is a class header ("Class Name [extends Base] [{]");
// opensBody tells that it ends with the "{" that opens the body.
bool IsClassDefinition(std::wstring_view line, bool& opensBody);

// The class-body hook of the line classifier, run on every logical line
// before its ordinary classification. Handles a header waiting for its "{",
// class headers, and every line of a class body outside methods. Leaves
// `handled` false for lines the classifier parses itself, which includes
// method headers inside a class body (ClassBodyObject says whose).
ResultCode ClassifyClassLine(std::wstring_view text, int lineNumber, bool& handled);

// The class whose body (outside any method) is being parsed, or null.
Object* ClassBodyObject();
// The innermost open class (also while one of its methods is parsed), or null.
Object* CurrentClassObject();
// The full dotted name of the innermost open class ("" outside classes).
std::wstring_view CurrentClassName();
// The property whose body is being parsed, or null.
Property* CurrentClassProperty();

// Opens a class from its header (the text after "Class", without "{").
ResultCode DeclareClass(std::wstring_view header);
// Opens a property from its header ("Name" or "Name[params]", without "{").
ResultCode DeclareProperty(std::wstring_view header);
// Declares static or instance variables of the open class, with initialisers.
ResultCode DeclareClassVars(std::wstring_view text, bool isStatic);

// The class object a dotted name ("Outer.Inner") leads to, or null.
Object* LookupClass(std::wstring_view name);

// At the end of the text: a class or header still open is "Missing }/{".
ResultCode CheckClassesClosed();
// After the text is read: every base class named before its definition must
// exist by now ("Unknown class.", at the line that first named it).
ResultCode LinkClasses();

// A class or property header waiting for its "{" cannot continue past the
// end of a file.
ResultCode FlushPendingClassHeader();

// Forgets the class state between loads (for tests).
void ResetClassDeclarations();

}  // namespace decl
