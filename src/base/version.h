// Product identity, shared by the version resource's texts and the code.
#pragma once

inline constexpr wchar_t PRODUCT_NAME[] = L"Quorivance";
inline constexpr wchar_t PRODUCT_VERSION[] = L"1.1.29.01";
// The class of the main window; a second copy finds the first by it.
inline constexpr wchar_t MAIN_WINDOW_CLASS[] = L"Quorivance";
