// SPDX-License-Identifier: MIT
#pragma once

class Winsock;
class MSComm;
class CommonDialog;
class MessageBox;
class System;

/// The platform components handed to the window model.
struct Platform {
    Winsock &winsock;
    MSComm &mscomm;
    CommonDialog &dialog;
    MessageBox &messageBox;
    System &system;
};
