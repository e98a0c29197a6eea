// The element of a loaded solution tree: solution, configuration, project, folder or file.
#pragma once

#include "xml/xmlnode.h"

#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

/// What an element is, from its tag name; the numbers are the stored codes.
enum class ProjectElementKind {
    Other = -1, ///< any tag without a meaning of its own; still walked
    Solution = 0,
    Configuration = 1,
    Project = 2,
    Folder = 3,
    File = 4,
};

/// The kind that a tag name stands for ("solution", "configuration",
/// "project", "folder", "file"; anything else is Other).
ProjectElementKind projectElementKind(const QByteArray &tagName);

/// One node of the solution tree. Its own properties are the element's
/// attributes as loaded; its configuration children hold its per-configuration
/// values and are indexed by display name. Children are owned through the
/// XMLNode links; the configuration index only points at them.
class ProjectElement : public XMLElement {
public:
    explicit ProjectElement(const QByteArray &tagName);
    ~ProjectElement() override;

    /// Renaming the tag changes the kind with it.
    void setName(const QByteArray &name) override;

    // Every change of the children is a change of the tree (see cachedValue()),
    // and the configuration index must not keep pointers to children that leave.
    void appendChild(std::unique_ptr<XMLNode> node) override;
    XMLNode *prependChild(std::unique_ptr<XMLNode> node) override;
    std::unique_ptr<XMLNode> removeChild(XMLNode *node) override;
    std::unique_ptr<XMLNode> replaceChild(XMLNode *oldChild,
                                          std::unique_ptr<XMLNode> newChild) override;
    void insertChildrenAfter(XMLNode *reference,
                             std::vector<std::unique_ptr<XMLNode>> chain) override;

    ProjectElementKind kind() const { return m_kind; }

    /// The own property `name` (case-sensitive), empty when absent.
    QString property(const QString &name) const { return m_properties.value(name); }
    bool hasProperty(const QString &name) const { return m_properties.contains(name); }
    /// Sets an own property and marks the element modified.
    void setProperty(const QString &name, const QString &value);
    /// Removes an own property and marks the element modified.
    void removeProperty(const QString &name);
    const QMap<QString, QString> &properties() const { return m_properties; }

    /// Configuration children by display name.
    const QMap<QString, ProjectElement *> &configurations() const { return m_configurations; }
    /// Enters a configuration child under `name`, replacing an earlier entry.
    void indexConfiguration(const QString &name, ProjectElement *configuration);

    bool isModified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }

    /// Whether this is the solution element of a file (the loaded one or an import).
    bool hasOwnFile() const { return m_hasOwnFile; }
    /// That file's absolute name; empty unless hasOwnFile().
    QString filePath() const { return m_filePath; }
    /// Records the element's own file; hasOwnFile() becomes true.
    void setFilePath(const QString &path);
    QDateTime fileTime() const { return m_fileTime; }
    void setFileTime(const QDateTime &time) { m_fileTime = time; }

    /// True on a solution element that replaced an import element.
    bool isImported() const { return m_imported; }
    void setImported(bool imported) { m_imported = imported; }
    /// False when the solution was imported with can_modify_solution="No".
    bool canModify() const { return m_canModify; }
    void setCanModify(bool canModify) { m_canModify = canModify; }

    /// The parent when it is a ProjectElement, else null.
    ProjectElement *parentElement() const;
    /// The first child that is a ProjectElement, or null; with
    /// nextSiblingElement() this walks the element children only.
    ProjectElement *firstChildProjectElement() const;
    ProjectElement *nextSiblingProjectElement() const;
    /// The children of kind Folder, in order; remembered, so that adding
    /// files to an element with many children does not look at each of them.
    const std::vector<ProjectElement *> &childFolders() const;

    /// The nearest ancestor-or-self of kind Project, of kind Solution, that
    /// is the solution element of a file, and that has configuration
    /// children; null when there is none. Remembered, and found from the
    /// parent's, so that asking for every element of a deep tree, or for
    /// elements added one by one, costs each element once.
    ProjectElement *enclosingProject() const { return enclosing().project; }
    ProjectElement *enclosingSolution() const { return enclosing().solution; }
    ProjectElement *enclosingFileOwner() const { return enclosing().fileOwner; }
    ProjectElement *enclosingConfigured() const { return enclosing().configured; }

    /// A value computed from the tree (a file path, a project directory) that
    /// this element remembers under `key`. It holds until anything in the
    /// element's tree changes: a property, a configuration, a child, a file.
    /// Returns false when there is none.
    bool cachedValue(const QString &key, QString &value) const;
    void cacheValue(const QString &key, const QString &value) const;

private:
    /// Counts the changes of one tree: every change, and the changes of its
    /// shape (where elements stand, their kinds, files and whether they have
    /// configurations). Trees that join share one record from then on (the
    /// one `merged` leads to); a subtree that leaves keeps it, which makes
    /// remembered values forgotten more often, never kept too long. So a
    /// change costs the same however deep the element sits.
    struct TreeRecord {
        std::shared_ptr<TreeRecord> merged;
        quint64 changes = 0;
        quint64 shapes = 0;
        int rank = 0;
    };

    /// One shape of a tree: its record and the shape changes it has counted.
    struct Shape {
        std::shared_ptr<TreeRecord> record;
        quint64 count = 0;
        bool operator==(const Shape &other) const { return record == other.record && count == other.count; }
    };

    /// The elements that enclosingProject() and its kin answer with.
    struct Enclosing {
        ProjectElement *project;
        ProjectElement *solution;
        ProjectElement *fileOwner;
        ProjectElement *configured;
    };

    /// The record of this element's tree, with the way to it shortened.
    std::shared_ptr<TreeRecord> treeRecord() const;
    Shape currentShape() const;
    const Enclosing &enclosing() const;
    /// Called by every change: the remembered values of the tree are forgotten.
    void treeChanged();
    /// Called when what enclosing() answers may change for this element and
    /// those below it. Only when one of them remembers an answer of the
    /// tree's current shape is the shape counted as changed.
    void shapeChanged() const;
    /// After `node` joined or left this element's children.
    void childMoved(XMLNode *node);
    void forgetConfiguration(const XMLNode *node);
    /// After a child's kind changed: a folder may have come or gone.
    void childKindChanged();

    ProjectElementKind m_kind;
    QMap<QString, ProjectElement *> m_configurations;
    QMap<QString, QString> m_properties;
    bool m_modified = false;
    bool m_hasOwnFile = false;
    QString m_filePath;
    bool m_imported = false;
    bool m_canModify = true;
    QDateTime m_fileTime;

    mutable std::shared_ptr<TreeRecord> m_record;
    // The record and its change count when the remembered values were computed.
    mutable std::shared_ptr<TreeRecord> m_cacheRecord;
    mutable quint64 m_cacheChanges = 0;
    mutable QHash<QString, QString> m_cache;
    // The answer of enclosing() and the shape it was found in.
    mutable std::optional<Enclosing> m_enclosing;
    mutable Shape m_enclosingShape;
    // The last shape in which this element or one below it remembered an answer.
    mutable Shape m_rememberedBelow;
    mutable std::vector<ProjectElement *> m_childFolders;
    mutable bool m_childFoldersKnown = false;
};

/// `node` as a ProjectElement, or null when it is another kind of node.
ProjectElement *asProjectElement(XMLNode *node);
const ProjectElement *asProjectElement(const XMLNode *node);
