/* Loaded by tests/platform_dynlib_test.cpp as "TESTDLL.DLL". */
int TestDllAnswer(void) { return 42; }
