#pragma once
// What the program's about box says.
namespace corvane {

inline constexpr char kAboutTitle[] = "OmniRig to FT2K CAT Bridge";
inline constexpr char kAboutProductName[] = "Corvane 2.0.000-0010";
inline constexpr char kAboutCopyRight[] = "Copyright (c) 2026 Corvane developers";
inline constexpr char kAboutProgrammer[] =
    "The Corvane developers. Free to use and to pass on, without any warranty.";
// The program has no web site: the line where one would stand points to its manual.
inline constexpr char kAboutWebSite[] = "Manual: man corvane";

}  // namespace corvane
