// Registers the object layer: its function families, its built-in
// variable, and its hooks into the loader, the evaluator and the variables.
#include "objects/objects_subsystem.h"

#include "objects/object_invoke.h"

#include "exec/exec_state.h"
#include "objects/builtin_functions.h"
#include "objects/class_declarations.h"
#include "objects/declarations.h"
#include "objects/func.h"
#include "objects/func_call.h"
#include "objects/object_ops.h"
#include "objects/objects_state.h"
#include "script/declaration_hooks.h"
#include "values/builtin_vars.h"

namespace state_detail {
ObjectsState objects;
}  // namespace state_detail

void ResetObjectsState() {
  // Each placeholder class owns a reference; the class code's own reset
  // gives them back before the record is forgotten.
  decl::ResetClassDeclarations();
  ClearMetaObject();
  Objects() = ObjectsState{};
}

namespace {

// A_ThisFunc: the name of the function the current thread is running.
size_t GetThisFunc(wchar_t* buffer, const wchar_t*) {
  Func* running = RunningFunction();
  return PutBuiltInText(buffer, running ? running->Name : L"");
}

const BuiltInVarDef kObjectVariables[] = {
    {L"A_ThisFunc", GetThisFunc},
};

// The declarations code behind the loader's hooks.
void InstallDeclarationHooks() {
  DeclarationHooks& hooks = Declarations();
  hooks.IsFunctionDefinition = decl::IsFunctionDefinition;
  hooks.DeclareFunction = decl::DeclareFunction;
  hooks.NoteScriptLine = decl::NoteScriptLine;
  hooks.ParseDeclaration = decl::ParseDeclaration;
  hooks.InitializerEnd = decl::InitializerEnd;
  hooks.MoveStaticInitializers = decl::MoveStaticInitializers;
  hooks.ResetDeclarations = decl::ResetDeclarations;
  hooks.ClassifyClassLine = decl::ClassifyClassLine;
  hooks.ClassBodyObject = decl::ClassBodyObject;
  hooks.CheckClassesClosed = decl::CheckClassesClosed;
  hooks.LinkClasses = decl::LinkClasses;
  hooks.FlushPendingClassHeader = decl::FlushPendingClassHeader;
  hooks.ResetClassDeclarations = decl::ResetClassDeclarations;
  hooks.FinishAllFunctionScopes = FinishAllFunctionScopes;
}

void StartObjects() {
  for (BuiltInFamily family : {MathFunctions(), MemoryFunctions(), FunctionFunctions(), ObjectFunctions()})
    RegisterBuiltInFunctions(family);
  InstallObjectOperations();
  InstallObjectInvoke();
  InstallFunctions();
  InstallDeclarationHooks();
  Exec().Hooks.DeliverReturnValue = DeliverReturnValue;
}

}  // namespace

const Subsystem& ObjectsSubsystem() {
  static const Subsystem kObjects{
      .Name = L"objects", .Variables = kObjectVariables, .Startup = StartObjects, .Reset = ResetObjectsState};
  return kObjects;
}
