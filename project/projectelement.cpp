// The solution tree element.
#include "project/projectelement.h"

namespace {

quint64 g_treeGeneration = 1;

} // namespace

ProjectElementKind projectElementKind(const QByteArray &tagName)
{
    if (tagName == "solution")
        return ProjectElementKind::Solution;
    if (tagName == "configuration")
        return ProjectElementKind::Configuration;
    if (tagName == "project")
        return ProjectElementKind::Project;
    if (tagName == "folder")
        return ProjectElementKind::Folder;
    if (tagName == "file")
        return ProjectElementKind::File;
    return ProjectElementKind::Other;
}

ProjectElement::ProjectElement(const QByteArray &tagName)
    : XMLElement(tagName), m_kind(projectElementKind(tagName))
{
}

ProjectElement::~ProjectElement() = default;

void ProjectElement::setName(const QByteArray &name)
{
    XMLElement::setName(name);
    m_kind = projectElementKind(name);
}

std::unique_ptr<XMLNode> ProjectElement::removeChild(XMLNode *node)
{
    auto removed = XMLElement::removeChild(node);
    if (removed)
        forgetConfiguration(removed.get());
    ++g_treeGeneration;
    return removed;
}

std::unique_ptr<XMLNode> ProjectElement::replaceChild(XMLNode *oldChild,
                                                      std::unique_ptr<XMLNode> newChild)
{
    auto removed = XMLElement::replaceChild(oldChild, std::move(newChild));
    if (removed)
        forgetConfiguration(removed.get());
    ++g_treeGeneration;
    return removed;
}

void ProjectElement::forgetConfiguration(const XMLNode *node)
{
    for (auto it = m_configurations.begin(); it != m_configurations.end();) {
        if (it.value() == node)
            it = m_configurations.erase(it);
        else
            ++it;
    }
}

void ProjectElement::setProperty(const QString &name, const QString &value)
{
    m_properties.insert(name, value);
    m_modified = true;
    ++g_treeGeneration;
}

void ProjectElement::removeProperty(const QString &name)
{
    m_properties.remove(name);
    m_modified = true;
    ++g_treeGeneration;
}

void ProjectElement::indexConfiguration(const QString &name, ProjectElement *configuration)
{
    m_configurations.insert(name, configuration);
    ++g_treeGeneration;
}

void ProjectElement::setFilePath(const QString &path)
{
    m_filePath = path;
    m_hasOwnFile = true;
    ++g_treeGeneration;
}

ProjectElement *ProjectElement::parentElement() const
{
    return dynamic_cast<ProjectElement *>(parent());
}

ProjectElement *ProjectElement::firstChildProjectElement() const
{
    for (XMLNode *child = firstChild(); child; child = child->nextSibling()) {
        if (auto *element = dynamic_cast<ProjectElement *>(child))
            return element;
    }
    return nullptr;
}

ProjectElement *ProjectElement::nextSiblingProjectElement() const
{
    for (XMLNode *sibling = nextSibling(); sibling; sibling = sibling->nextSibling()) {
        if (auto *element = dynamic_cast<ProjectElement *>(sibling))
            return element;
    }
    return nullptr;
}

quint64 ProjectElement::treeGeneration()
{
    return g_treeGeneration;
}

bool ProjectElement::cachedValue(const QString &key, QString &value) const
{
    if (m_cacheGeneration != g_treeGeneration)
        return false;
    const auto it = m_cache.constFind(key);
    if (it == m_cache.constEnd())
        return false;
    value = it.value();
    return true;
}

void ProjectElement::cacheValue(const QString &key, const QString &value) const
{
    if (m_cacheGeneration != g_treeGeneration) {
        m_cache.clear();
        m_cacheGeneration = g_treeGeneration;
    }
    m_cache.insert(key, value);
}
