#pragma once

// The text of message `id`, or nullptr when the table has no such entry.
const char* FindZipMessage(int id);
int ZipMessageCount();
