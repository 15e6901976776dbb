#pragma once
// Whether another program holds a hive file: a program that has it locked
// or open for writing would go on writing into whatever then bears the name,
// so such a hive is neither copied for a replacement nor replaced.
//
// On Linux the two kinds of lock do not see each other and a plain open
// holds none: record locks are probed with F_OFD_GETLK (their PID is known
// for classic ones only), flock locks with a shared flock that is given back
// at once, and, where this process may read every process's descriptors
// (as root), /proc/*/fdinfo is searched for the file open for writing.
// Elsewhere (Windows) the hive is opened without sharing write access.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace hv::offline {

// nullopt when no other program is seen to hold any of `files` (a missing
// one holds nothing); else which and why, in words: "SAM is in use by
// another program (PID 4242)". The processes are searched once for all.
std::optional<std::string> HeldByAnotherProgram(const std::vector<std::filesystem::path>& files);

}  // namespace hv::offline
