// Where the service lives: host names, alias domain and web host, with local defaults.
#pragma once

#include <string>
#include <string_view>
#include <vector>

/**
 * The service's fixed values, read from "service.conf" in the install directory
 * ("key = value" lines, '#' comments) and then from the environment, which wins:
 *
 *   primary_host    KESTRELIN_PRIMARY_HOST    default 127.0.0.1
 *   secondary_host  KESTRELIN_SECONDARY_HOST  default 127.0.0.1
 *   alias_domain    KESTRELIN_ALIAS_DOMAIN    default service.localhost
 *   web_host        KESTRELIN_WEB_HOST        default 127.0.0.1
 *
 * The defaults point at the local service simulator. A bad line or value is reported
 * as a warning and leaves the value before it in force.
 */
class CServiceConfig
{
  public:
    static constexpr const char *kFileName = "service.conf";
    static constexpr const char *kDefaultHost = "127.0.0.1";
    static constexpr const char *kDefaultAliasDomain = "service.localhost";

    std::string m_strPrimaryHost = kDefaultHost;
    std::string m_strSecondaryHost = kDefaultHost;
    std::string m_strAliasDomain = kDefaultAliasDomain;
    std::string m_strWebHost = kDefaultHost;

    /** Defaults, then installDir/service.conf when it exists, then the environment. */
    static CServiceConfig Load(const std::string &installDir, std::vector<std::string> *warnings);

    /** Applies a configuration file; a missing file changes nothing and is no warning. */
    void ReadFile(const std::string &path, std::vector<std::string> *warnings);

    /** Applies "key = value" lines; origin names the source in warnings ("file:line: ..."). */
    void ApplyText(std::string_view text, const std::string &origin,
                   std::vector<std::string> *warnings);

    /** Applies the KESTRELIN_* environment variables that are set. */
    void ApplyEnvironment(std::vector<std::string> *warnings);
};
