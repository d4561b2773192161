// Output channels. Channel 0 collects a
// message line that is sent when ended; channels 1 to 3 are text files:
// the first output file, the second (two-file mode only) and "ZEDID.TMP".
#pragma once

constexpr int MessageChannel = 0;
constexpr int FirstOutputChannel = 1;
constexpr int SecondOutputChannel = 2;
constexpr int TemporaryChannel = 3;
constexpr int ChannelCount = 4;

// The message line holds at most this many characters; a text that would
// take it past this sends the line first.
constexpr int MessageLineLimit = 125;

// Empties channel 0's message line; collected text is dropped unsent.
void ClearMessageLine();

// Opens NAME for writing in text mode as file channel CHANNEL and keeps a
// copy of the name; 1 on success, 0 when the file cannot be opened or is the
// file of another open channel (nothing is kept then). The temporary
// channel's file is created afresh as a private file (CreateTemporaryFile),
// and is refused when NAME is the entry of another open channel's file.
int OpenChannelFile(int channel, const char* name);
// Hands what was written to file channel CHANNEL to the system; 1, or 0
// when a write to it failed (reported then, once per channel).
int FlushChannel(int channel);
// 1 when a write to any file channel failed during this run.
int ChannelWriteFailed();
// Closes every open file channel, in the order 1, 2, 3; names are kept.
// 1 when every write reached its file, 0 when one failed (reported as by
// WriteString). The failure marks are cleared for the next run.
int CloseChannelFiles();
// Frees the kept channel file names (part of the run's release).
void ReleaseChannelNames();

// Writes TEXT to CHANNEL: collects it on channel 0, writes it unchanged to
// an open file channel. 1 when written or collected; 0 for an illegal
// channel, after message 1 with the channel number has been reported, and 0
// when the file write failed: the first failure of a channel reports
// message 25 (output files) or 26 (the temporary file), later ones nothing.
int WriteString(int channel, const char* text);
// Channel 0: sends the message line, even when empty, and empties it; 1.
// Other channels: WriteString of a line feed, with its result.
int EndLine(int channel);
// Appends the whole file of channel SOURCE to channel DESTINATION, reading
// the source back from its start through the handle that wrote it (never by
// its name); the source then stays open at its end until the channels are
// closed. 1 when appended; 0 when refused: silently for a channel outside 1
// to 3, with message 9 when either file is not open or the source cannot be
// read back, with the write failure's message when the source's pending
// text cannot be written.
int ConcatenateChannel(int destination, int source);
