// A module loaded through LoadLibrary in the tests.
extern "C" __attribute__((visibility("default"))) int velmi_test_answer(int x) { return x + 42; }
