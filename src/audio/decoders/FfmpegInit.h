#pragma once
// The decoders' one-time FFmpeg set-up, called before their first use of the
// libraries (any thread, any number of times).
//
// FFmpeg's own log lines ("[mp3float @ 0x...] Header missing") describe
// damaged input the decoders already answer for (Valid false, a damaged frame
// played as silence); the program keeps no log, and its stderr belongs to its
// own messages. So one log callback is installed that drops them all.

void InitFfmpegOnce();
