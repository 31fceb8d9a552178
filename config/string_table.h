// The process-wide table of string sections, the %name% substitution every text value
// of a description goes through, and the tokenizer that splits list values.
#pragma once

#include <stddef.h>

// A reference name longer than this is not looked up: the whole reference, up to its
// closing percent sign, produces nothing.
constexpr size_t kMaxReferenceName = 127;

// Adds a section text as the profile section read returns it (key=value entries, each
// NUL-terminated, ended by an extra NUL) at the front of the table. count is the
// character count the read returned: count+1 characters of text are kept. Returns false
// when nothing was added (count 0, or no memory for the node).
bool AddStringSectionText(const char* text, size_t count);

// The value of name in the newest section that defines it (names ignore ASCII case),
// or nullptr when no section does. The text lives as long as the process.
const char* LookUpString(const char* name);

// Copies text to out with %% turned into % and every %name% replaced by its value (not
// scanned again). An unknown name produces nothing; a % without a closing % ends the
// text. At most size-1 characters are written, always followed by a NUL; size 0 writes
// nothing.
void Substitute(const char* text, char* out, size_t size);

// Returns the next token of the list at *cursor, never empty, or nullptr at the end with
// *cursor left at the terminating NUL. The delimiter after a token is overwritten with
// NUL and *cursor moves past it.
char* NextToken(char** cursor, const char* delimiters);

// Frees every node. The installer never empties the table; tests call this between cases.
void EmptyStringTableForTests();
