// The host connection: where messages go and the numbered messages sent
// there. Every layer above reports through it without knowing the channels.
#pragma once

#include "zedid.h"

// Where messages go and which module's string table holds their texts; set
// by the run before anything is reported, cleared after it.
void ConnectHost(MessageCallback callback, void* module);
// Hands TEXT to the host's callback once; passes on its result (0 when no
// host is connected).
int SendToHost(const char* text);
// Loads message ID from the string table and sends it unchanged.
void ReportMessage(int id);
// Loads message ID, fills its "%d"/"%s" with the arguments and sends the
// result whole, however long the filled-in texts are.
void ReportFilledMessage(int id, ...);
