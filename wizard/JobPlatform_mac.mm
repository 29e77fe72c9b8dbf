// The macOS glue: each operation is the one framework call it stands for.
#include "JobPlatform.h"

#import <Foundation/Foundation.h>
#include <Security/Authorization.h>
#include <ServiceManagement/ServiceManagement.h>
#include <stdlib.h>

// The job calls are the ones that run on every macOS from 10.6 on; later
// systems mark them deprecated.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
#endif

namespace {

// Temporary objects of one operation go with it.
class PoolScope {
public:
    PoolScope() : m_pool([[NSAutoreleasePool alloc] init]) {}
    ~PoolScope() { [m_pool drain]; }
    PoolScope(const PoolScope&) = delete;
    PoolScope& operator=(const PoolScope&) = delete;

private:
    NSAutoreleasePool* m_pool;
};

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
        AuthorizationItem right = {"system.privilege.admin", 0, NULL, 0};
        AuthorizationRights rights = {1, &right};
        const AuthorizationFlags flags = kAuthorizationFlagInteractionAllowed | kAuthorizationFlagExtendRights |
                                         kAuthorizationFlagPreAuthorize;
        const OSStatus status = AuthorizationCreate(&rights, kAuthorizationEmptyEnvironment, flags, &m_authorization);
        if (status != errAuthorizationSuccess) {
            m_authorization = NULL;
            return false;
        }
        return true;
    }

    void removeJob(const std::string& label) override
    {
        PoolScope pool;
        SMJobRemove(kSMDomainSystemLaunchd, (CFStringRef)toNSString(label), m_authorization, false, NULL);
    }

    bool submitJob(const JobDescription& job) override
    {
        PoolScope pool;
        NSMutableArray* arguments = [NSMutableArray array];
        for (const std::string& argument : job.programArguments)
            [arguments addObject:toNSString(argument)];
        NSDictionary* description = [NSDictionary dictionaryWithObjectsAndKeys:
            toNSString(job.label), @"Label",
            [NSNumber numberWithBool:job.runAtLoad], @"RunAtLoad",
            arguments, @"ProgramArguments", nil];
        CFErrorRef error = NULL;
        const bool accepted = SMJobSubmit(kSMDomainSystemLaunchd, (CFDictionaryRef)description, m_authorization, &error);
        if (error)
            CFRelease(error);
        // The rights were for this one submission.
        releaseAuthorization();
        return accepted;
    }

    JobState jobState(const std::string& label) override
    {
        JobState state = JobState::Unknown;
        PoolScope pool;
        CFDictionaryRef job = SMJobCopyDictionary(kSMDomainSystemLaunchd, (CFStringRef)toNSString(label));
        if (job) {
            // launchd gives a PID while the tool runs and its exit status
            // once it has run; without keep-alive it is not started again.
            if (CFDictionaryContainsKey(job, CFSTR("PID")))
                state = JobState::Running;
            else if (CFDictionaryContainsKey(job, CFSTR("LastExitStatus")))
                state = JobState::Ended;
            CFRelease(job);
        }
        return state;
    }

    std::string mainBundlePath() override
    {
        PoolScope pool;
        return toStdString([[NSBundle mainBundle] bundlePath]);
    }

    std::string homeFolder() override
    {
        PoolScope pool;
        return toStdString(NSHomeDirectory());
    }

    std::string temporaryFolder() override
    {
        PoolScope pool;
        NSString* folder = NSTemporaryDirectory();
        return folder ? toStdString(folder) : std::string();
    }

    std::int32_t randomNumber() override { return static_cast<std::int32_t>(arc4random()); }

    void sleep(double seconds) override { [NSThread sleepForTimeInterval:seconds]; }

    double monotonicSeconds() override { return [[NSProcessInfo processInfo] systemUptime]; }

    bool fileExists(const std::string& path) override
    {
        PoolScope pool;
        return [[NSFileManager defaultManager] fileExistsAtPath:toNSString(path)];
    }

    std::optional<std::string> readText(const std::string& path) override
    {
        PoolScope pool;
        NSString* text = [NSString stringWithContentsOfFile:toNSString(path) encoding:NSUTF8StringEncoding error:NULL];
        if (!text)
            return std::nullopt;
        return toStdString(text);
    }

private:
    void releaseAuthorization()
    {
        if (m_authorization)
            AuthorizationFree(m_authorization, kAuthorizationFlagDefaults);
        m_authorization = NULL;
    }

    AuthorizationRef m_authorization = NULL;
};

}  // namespace

std::unique_ptr<JobPlatform> makeJobPlatform()
{
    return std::make_unique<MacJobPlatform>();
}
