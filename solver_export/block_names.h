// What both modal-export writers share besides their arguments: the record
// unit they write through and the names of the blocks they write, each
// blank-padded to 8 characters.
#pragma once

namespace zel {
namespace modal_export {

constexpr int kUnit = 4;

inline constexpr char kTOL[] = "TOL     "; // output times
inline constexpr char kFOL[] = "FOL     "; // output frequencies
inline constexpr char kUHT[] = "UHT     "; // modal coordinates, time output
inline constexpr char kBHT[] = "BHT     "; // six components, time output
inline constexpr char kUHF[] = "UHF     "; // modal coordinates, frequency output
inline constexpr char kBHF[] = "BHF     "; // six components, frequency output

} // namespace modal_export
} // namespace zel
