// Whole-operation file helpers: every call opens, works and closes.
#pragma once
#include <string>
#include <vector>

namespace varnel {

bool FileExists(const std::string& path);
// Deletes path; raises a file error when it exists and cannot be deleted.
void DeleteFile(const std::string& path);
// Appends each line followed by CR LF; creates the file when absent.
void AppendLines(const std::string& path, const std::vector<std::string>& lines);
// Reads the lines of a text file; CR LF, LF and a lone CR all end a line.
std::vector<std::string> ReadLines(const std::string& path);
// Writes the lines (each followed by CR LF) to path atomically (temporary file and rename).
void RewriteLines(const std::string& path, const std::vector<std::string>& lines);

}  // namespace varnel
