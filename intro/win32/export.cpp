// The export as Windows callers know it: standard calling convention, one 32-bit argument that is
// not used, exported by the module definition as "_StartVekIntro@4" and nothing else.
extern "C" int StartVekIntro(int);  // export.cpp

extern "C" int __stdcall StartVekIntroStdcall(int unused) { return StartVekIntro(unused); }
