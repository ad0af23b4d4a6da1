#pragma once

// What the program's exit status tells a script; the help and the manual page list them.
enum ExitCode {
    ExitDone = 0,
    // Some file failed to sign or verify, or is unsigned, or the check before On found such
    // files.
    ExitFilesFailed = 1,
    ExitUsage = 2,
    // The environment stopped the command: a tool or key missing, settings that cannot be read
    // or changed since they were read, a file that could not be written, a failed rebuild.
    ExitEnvironment = 3,
};
