// Result codes: how every operation on a script line reports its outcome.
// Errors are values: a failing operation has already reported itself once
// and returns Fail; callers only pass it on.
#pragma once

enum class [[nodiscard]] ResultCode{
    Ok,         Fail,
    TestPassed,  // an if-form's condition held
    TestFailed,  // an if-form's condition did not hold
    BreakOut,    // Break: leave the enclosing loop(s)
    NextPass,    // Continue: start the loop's next iteration
    Returned,    // Return: end the current label or function
    ThreadExit,  // Exit: end the current thread
    EarlyExit,   // the exit sequence ended this thread (ExitApp)
    NotHandled,  // no object handled the request (the result is empty)
};
