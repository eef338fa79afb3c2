# Writes the schema text into a C++ source as one raw string literal.
file(READ ${IN} SQL)
file(WRITE ${OUT} "// Generated from db/schema.sql\n#include <string_view>\nnamespace varnel {\nextern const std::string_view kSchemaSql;\nconst std::string_view kSchemaSql = R\"varnel_schema(${SQL})varnel_schema\";\n}\n")
