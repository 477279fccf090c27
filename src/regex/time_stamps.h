// Time stamps in the form YYYYMMDDHH24MISS: reading (with completion of
// partial stamps and optional validation) and writing.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// Reads a stamp into a calendar record; missing fields take month 1, day 1
// and zero times. With `validate`, false unless the platform accepts the
// date and time (it converts to a file time).
bool ReadTimeStamp(std::wstring_view stamp, SYSTEMTIME& time, bool validate);
// The stamp of a calendar record.
std::wstring WriteTimeStamp(const SYSTEMTIME& time);
