#pragma once

// How a run of the privileged removal job ended. authorizeHelperTool hands it
// on as the plain number the wizard's flow is built on, and the progress page
// turns that number back into this type.
enum class RemovalJobResult : int {
    NoRunYet = -1, // the progress page's value until a run has returned
    NotAuthorized = 0, // authorisation refused or the job not accepted
    Failed = 1, // the tool reported anything but success, or no verdict was read
    Succeeded = 2,
};
