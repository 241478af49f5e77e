#pragma once
// Ids of the program's resources, shared by the resource script and the code.
#define kAppIconId 1
#define kSetupDialogId 101
#define kAboutDialogId 102
