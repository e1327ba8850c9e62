// Carries the precompiled header that the test binaries reuse.
