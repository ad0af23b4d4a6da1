#pragma once

// How strictly the kernel verifies signatures.
enum VerificationMode {
    Invalid = 0,
    On = 1,
    Off = 2,
    Debug = 3,
};

inline bool isVerificationEnabled(int mode)
{
    return mode == On || mode == Debug;
}
