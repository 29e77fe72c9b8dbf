// The macOS glue: each operation is the one framework call it stands for.
#include "JobPlatform.h"

#include <Security/Authorization.h>
#include <ServiceManagement/ServiceManagement.h>
#include <grp.h>
#include <stdlib.h>
#include <unistd.h>

#include "JobPlatformToolCheck.h"
#include "JobRefusalLog.h"

#include "FoundationGlue_mac.h"
#include "JobPause.h"

// The job calls are the ones that run on every macOS this program targets;
// later systems mark them deprecated.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
#endif

namespace {

NSString* toNSString(const std::string& text)
{
    NSString* converted = [[[NSString alloc] initWithBytes:text.data() length:text.size()
                                                  encoding:NSUTF8StringEncoding] autorelease];
    return converted ? converted : @"";
}

std::string toStdString(NSString* text)
{
    // Through the bytes, not UTF8String, so that an embedded NUL is kept.
    NSData* bytes = [text dataUsingEncoding:NSUTF8StringEncoding];
    if (!bytes)
        return std::string();
    return std::string(static_cast<const char*>([bytes bytes]), [bytes length]);
}

class MacJobPlatform : public JobPlatform {
public:
    ~MacJobPlatform() override { releaseAuthorization(); }

    bool authorize() override
    {
        releaseAuthorization();
        // One request, so one prompt: the administrator right, and the right
        // that the service manager checks before it changes the system domain.
        AuthorizationItem items[] = {
            { "system.privilege.admin", 0, NULL, 0 },
            { kSMRightModifySystemDaemons, 0, NULL, 0 },
        };
        AuthorizationRights rights = { sizeof items / sizeof items[0], items };
        const AuthorizationFlags flags
            = kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights | kAuthorizationFlagPreAuthorize;
        const OSStatus status = AuthorizationCreate(&rights, kAuthorizationEmptyEnvironment, flags, &m_authorization);
        if (status != errAuthorizationSuccess) {
            m_authorization = NULL;
            logJobRefusal("no administrator rights (AuthorizationCreate: " + std::to_string(status) + ")");
            return false;
        }
        return true;
    }

    void removeJob(const std::string& label) override
    {
        @autoreleasepool {
            // Waits until launchd has stopped a tool of an earlier run that
            // still runs: until then a new job of the same label is refused.
            SMJobRemove(kSMDomainSystemLaunchd, (CFStringRef)toNSString(label), m_authorization, true, NULL);
        }
    }

    bool submitJob(const JobDescription& job) override
    {
        // launchd runs whatever lies at the path as root: a tool that anyone
        // but root, this user and the administrators could have replaced is
        // not started.
        const struct group* admin = getgrnam("admin");
        const std::optional<gid_t> administrators = admin ? std::optional<gid_t>(admin->gr_gid) : std::nullopt;
        std::string why = "no program";
        if (job.programArguments.empty()
            || !isToolOnlyChangeableBy(job.programArguments.front(), getuid(), administrators, &why)) {
            logJobRefusal("tool check refused "
                + (job.programArguments.empty() ? std::string() : job.programArguments.front()) + ": " + why);
            releaseAuthorization();
            return false;
        }
        bool accepted = false;
        @autoreleasepool {
            NSMutableArray* arguments = [NSMutableArray array];
            for (const std::string& argument : job.programArguments)
                [arguments addObject:toNSString(argument)];
            NSDictionary* description = [NSDictionary dictionaryWithObjectsAndKeys:toNSString(job.label), @"Label",
                                                      [NSNumber numberWithBool:job.runAtLoad], @"RunAtLoad", arguments,
                                                      @"ProgramArguments", nil];
            CFErrorRef error = NULL;
            accepted = SMJobSubmit(kSMDomainSystemLaunchd, (CFDictionaryRef)description, m_authorization, &error);
            if (!accepted)
                logJobRefusal("job not accepted by launchd (error "
                    + std::to_string(error ? static_cast<long>(CFErrorGetCode(error)) : 0L) + ")");
            // The error is handed over to us (Create rule) whatever the answer.
            if (error)
                CFRelease(error);
        }
        // The rights were for this one submission.
        releaseAuthorization();
        return accepted;
    }

    JobState jobState(const std::string& label) override
    {
        JobState state = JobState::Unknown;
        @autoreleasepool {
            CFDictionaryRef job = SMJobCopyDictionary(kSMDomainSystemLaunchd, (CFStringRef)toNSString(label));
            if (job) {
                // launchd gives a PID only while the tool runs. Its last exit
                // status is there from the start, at 0, so only a changed one
                // tells that the tool has run; the tool itself always exits
                // with 0, and the wait tells that end by the PID it saw.
                NSDictionary* entries = (NSDictionary*)job;
                NSNumber* exitStatus = [entries objectForKey:@"LastExitStatus"];
                if ([entries objectForKey:@"PID"])
                    state = JobState::Running;
                else if (exitStatus && [exitStatus intValue] != 0)
                    state = JobState::Ended;
                else
                    state = JobState::NotStarted;
                CFRelease(job);
            }
        }
        return state;
    }

    std::string mainBundlePath() override
    {
        @autoreleasepool {
            return NDUtilities::posixPathOf([[NSBundle mainBundle] bundlePath]);
        }
    }

    std::string homeFolder() override
    {
        @autoreleasepool {
            return NDUtilities::posixPathOf(NSHomeDirectory());
        }
    }

    std::string temporaryFolder() override
    {
        @autoreleasepool {
            return NDUtilities::posixPathOf(NSTemporaryDirectory());
        }
    }

    std::int32_t randomNumber() override { return static_cast<std::int32_t>(arc4random()); }

    void sleep(double seconds) override
    {
        if (!pauseInsteadOfSleeping(seconds))
            [NSThread sleepForTimeInterval:seconds];
    }

    double monotonicSeconds() override { return [[NSProcessInfo processInfo] systemUptime]; }

    bool fileExists(const std::string& path) override
    {
        @autoreleasepool {
            NSString* platformPath = NDUtilities::platformPathOf(path);
            return platformPath && [[NSFileManager defaultManager] fileExistsAtPath:platformPath];
        }
    }

    std::optional<std::string> readText(const std::string& path) override
    {
        @autoreleasepool {
            NSString* platformPath = NDUtilities::platformPathOf(path);
            NSString* text = platformPath
                ? [NSString stringWithContentsOfFile:platformPath encoding:NSUTF8StringEncoding error:NULL]
                : nil;
            if (!text)
                return std::nullopt;
            return toStdString(text);
        }
    }

private:
    void releaseAuthorization()
    {
        // Destroying the rights keeps them from other clients of the
        // authorization server once this run no longer needs them.
        if (m_authorization)
            AuthorizationFree(m_authorization, kAuthorizationFlagDestroyRights);
        m_authorization = NULL;
    }

    AuthorizationRef m_authorization = NULL;
};

} // namespace

std::unique_ptr<JobPlatform> makeJobPlatform()
{
    return std::make_unique<MacJobPlatform>();
}
