// zephpack keygen PUBLIC_KEY SECRET_KEY [--force]
// zephpack sign FILE SECRET_KEY [--signature SIG] [--trusted-comment TEXT |
//                                [--sequence N] [--expires-in DAYS]]
// zephpack verify FILE PUBLIC_KEY [--signature SIG]
// Keys and signatures in minisign's formats. Each takes the arguments from its command word on
// (argv[0] is the word) and returns the exit status: 0 done, 1 failed, 2 usage error.
#pragma once

namespace ZephPack {

[[nodiscard]] int RunKeygenCommand(int argc, char** argv);
[[nodiscard]] int RunSignCommand(int argc, char** argv);
[[nodiscard]] int RunVerifyCommand(int argc, char** argv);

}  // namespace ZephPack
