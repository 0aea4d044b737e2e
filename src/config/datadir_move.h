// Moving the data to a new data folder, whole or not at all, and finishing
// or undoing a move that a kill cut short. Used by the data directory module
// (config/datadir.cpp) only.
//
// Threads: the caller's; the interface runs no other work while the data
// moves. Processes: one move per data folder at a time (a lock on the old
// folder), and no recovery while a move runs.
#pragma once

#include <string>

// Moves the data entries of the folder from into the existing folder to and
// records to as the data folder (zyl.ini). 0, or -1 with err: then from is
// whole and still recorded, and to holds nothing of the move.
int datadir_move(const std::string &from, const std::string &to, std::string *err);

// At start-up, before dir is used: when dir is one end of a move that was
// killed, finishes the move if it was recorded, or puts everything back.
// True when there was such a move (the location may have changed).
bool datadir_move_recover(const std::string &dir);
