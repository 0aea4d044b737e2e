// Newer versions of the content world's projects, for updates: a test
// publishes one at the content service's file list of a project, which then
// offers that file first (the content world answers with a file served at its
// route's exact path).
#pragma once

#include "base/strings.h"
#include "fakenet/fakenet.h"

#include <string>

struct UpdateOffer {
    std::string filename;
    std::string mc = "1.20.1";
    std::string loader = "fabric";
    std::string version = "2"; // goes into the jar, so equal names still differ in bytes
    bool forbidden = false;    // "manual" without "url"
    StrList required = {};     // required projects as "<source>:<id>"
    std::string channel = "release";
};

// Serves the offer at "/service/v1/<source>/<project>/files" and its bytes on
// the fake CDN. Returns the bytes. Another process asks for the same with
// GET /fakenet/offer?source=&project=&filename=[&version=][&channel=][&required=].
std::string world_update_offer(FakeNet &n, const std::string &source, const std::string &project,
                               const UpdateOffer &offer);
