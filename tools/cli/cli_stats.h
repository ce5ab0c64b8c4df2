// The tables of `vorlask-cli stats`, made from the door's "stats" reply.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// Tab-separated, a header line first: one row per PLC; with blocks, a blank line and one row
// per cyclic block.
// The door's plcs reply: each PLC's mode, model, error flags and last result.
std::string plcsTable(const nlohmann::json& reply);

std::string statsTables(const nlohmann::json& reply, bool blocks);
