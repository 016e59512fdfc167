// Forced into the Windows builds of the shared sweep programs: the one POSIX
// call their scratch directories use that the Windows C runtime lacks.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif
// Replaces the trailing XXXXXX of templ and creates that directory; templ,
// or a null pointer when no fresh name could be made.
char* mkdtemp(char* templ);
#ifdef __cplusplus
}
#endif
