// Under a session manager speaking NSM (NSM_URL set): the program announces
// itself, takes the session's client name for JACK, keeps its document in
// the session's folder, opens and saves it when the manager says, and tells
// it whether the work is saved. Nothing it does waits on a question.
//
// Threads: the main thread; liblo's server thread only queues.
#pragma once

#include <string>

class BLGrooveController;

// At start-up, before JACK opens: when NSM_URL is set, announces and waits
// a while for the session's open. The document to open at start ("" for a
// fresh session). False without a session manager (or none answered).
bool BLNsm_Start(const char* executable, std::string& document);
// Each pass of the controller: the manager's messages, the state of the work.
void BLNsm_Serve(BLGrooveController& groove);
// A session manager keeps this program's document.
bool BLNsm_Active();
void BLNsm_End();
