// Creating a program directory with a fresh database.
#pragma once
#include <string>

namespace varnel {

// The subdirectories every program directory has.
inline constexpr const char* kProgramSubdirs[] = {
    "Debug", "Backup", "Web", "ExecProg", "ports", "mibfiles", "mibfiles/defaultFilter"};

// Creates dir, its subdirectories and dir/Varnel.mdb with one default row in every
// single-row table; with demo, listeners on loopback and a catch-all support group.
// Raises VarnelError when the database exists already or cannot be made.
void InitProgramDir(const std::string& dir, bool demo);

// Creates the tables of the schema in a new database file.
void CreateDatabase(const std::string& path);

}  // namespace varnel
