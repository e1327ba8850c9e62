// Tests only: a library the "needsdep" client stub is linked against and that the tests then
// keep out of the loader's reach, as a missing libaio.so.1 is for a real client.
extern "C" int volmek_stub_dependency() { return 0; }
