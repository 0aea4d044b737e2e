// The instance commands: instances, create, delete, and instance show|set
// (an instance's own launch settings).
//
// Main thread of the console only.
#pragma once

#include "cli/args.h"

int cmd_instances(const Options &opts);
int cmd_create(const Options &opts);
int cmd_delete(const Options &opts);
int cmd_instance(const Options &opts);
// The "Сборка создана: ..." line shared with modpack import.
void print_instance_created(const struct Instance &inst);
